#pragma once
// The parameter search above the tree: any part of a name or key, across every section; a
// match chosen goes to its page and row.

#include "paramtree.h"

#include <QWidget>
#include <functional>

class QLineEdit;
class QListWidget;

class CSearchBox : public QWidget {
    Q_OBJECT
public:
    explicit CSearchBox(QWidget* parent = nullptr);

    void setTree(const tree::ParameterTree* tree);
    // Ctrl+F: the field with its text selected.
    void activate();
    QLineEdit* field() const { return m_field; }
    QListWidget* results() const { return m_results; }
    const std::vector<tree::SearchHit>& hits() const { return m_hits; }
    void choose(int index);

    std::function<void(const tree::SearchHit&)> onChoose;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void find(const QString& text);

    const tree::ParameterTree* m_tree = nullptr;
    QLineEdit* m_field;
    QListWidget* m_results;
    std::vector<tree::SearchHit> m_hits;
};
