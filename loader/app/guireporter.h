#pragma once
// The core's reports shown on the GUI thread, whichever thread reports. A worker's message is
// posted and never awaited, so that the GUI thread may always wait for a worker to end.

#include "reporter.h"

#include <QObject>
#include <QPointer>
#include <atomic>
#include <functional>

class QWidget;
namespace vok {
class TextTable;
}

class GuiReporter : public QObject, public vok::Reporter {
    Q_OBJECT
public:
    GuiReporter() = default;
    void setTexts(const vok::TextTable* texts) { m_texts = texts; }
    void setWindow(QWidget* window) { m_window = window; }
    // From now on workers get no more dialogs (their messages are dropped).
    void setClosing() { m_closing = true; }

    void message(int textId, const std::string& suffix = {}) override;
    void progressStart(std::uint32_t total) override;
    void progressAdvance(int amount) override;
    void progressEnd() override;
    void statusText(int textId) override;
    void notice(const std::string& text) override;
    void note(const std::string& text) override;
    void refresh(vok::Refresh what) override;

    // What the windows do with the reports.
    std::function<void(std::uint32_t)> onProgressStart;
    std::function<void(int)> onProgressAdvance;
    std::function<void()> onProgressEnd;
    std::function<void(const QString&)> onStatusText;
    std::function<void(const QString&)> onNote;
    std::function<void(vok::Refresh)> onRefresh;

private:
    void post(std::function<void()> fn);
    QString text(int id, const std::string& suffix) const;

    const vok::TextTable* m_texts = nullptr;
    QPointer<QWidget> m_window;
    std::atomic<bool> m_closing{false};
};
