#pragma once
// The tree explorer: the parameter tree in a tree view, with favourites and hidden marks.

#include "paramtree.h"

#include <QTreeWidget>
#include <functional>
#include <memory>

class CTreeExp : public QTreeWidget {
    Q_OBJECT
public:
    explicit CTreeExp(QWidget* parent = nullptr);

    // Shows a tree built by its owner; selection changes then load pages.
    void setTree(tree::ParameterTree* tree);
    tree::ParameterTree* parameterTree() const { return m_tree; }
    // Rebuilds the widget's items from the tree (after a favourite or a hidden mark).
    void rebuildItems();
    void selectNode(int node);
    int selectedNode() const;

    // A page was chosen: `mode` 0 from the top, 1 keeping the scroll position.
    std::function<void(int node, int mode)> onLoadPage;
    std::function<void()> onEscape;
    std::function<void()> onFocusView;
    // The pop-up's two entries (texts 156 and 157).
    void setMenuTexts(const QString& favourite, const QString& hide)
    {
        m_favouriteText = favourite;
        m_hideText = hide;
    }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void favourite();
    void hide();
    QTreeWidgetItem* itemOf(int node) const;

    tree::ParameterTree* m_tree = nullptr;
    std::vector<QTreeWidgetItem*> m_items; // by node index
    bool m_ready = false;
    QString m_favouriteText;
    QString m_hideText;
};
