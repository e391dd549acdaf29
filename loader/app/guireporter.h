#pragma once
// The core's reports shown as message boxes on the GUI thread, whichever thread reports.

#include "reporter.h"

#include <QObject>

class QWidget;
namespace vok {
class TextTable;
}

class GuiReporter : public QObject, public vok::Reporter {
    Q_OBJECT
public:
    GuiReporter(const vok::TextTable& texts, QWidget* parent);
    void message(int textId, const std::string& suffix = {}) override;

private:
    void show(const QString& text);
    const vok::TextTable& m_texts;
    QWidget* m_parent;
};
