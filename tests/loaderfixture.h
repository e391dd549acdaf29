#pragma once
// The loader started as a person starts it, in a scratch working folder with the sample
// language folders, against a simulated line; and helpers that answer its dialogs.

#include "initdialogs.h"
#include "mainframe.h"
#include "simfixture.h"
#include "testutil.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <functional>
#include <unistd.h>

namespace vok::test {

// Runs the event loop until `done` or the time is up.
inline bool waitFor(const std::function<bool()>& done, int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done() && std::chrono::steady_clock::now() < end)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Hands every modal dialog that comes up to `answer` (which returns whether it dealt with
// it); message boxes nobody answers are closed with their escape button, and their texts kept.
class DialogDriver {
public:
    std::function<bool(QWidget*)> answer;
    QStringList messages;

    DialogDriver()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            QWidget* w = QApplication::activeModalWidget();
            if (!w || (answer && answer(w)))
                return;
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                messages << box->text();
                if (QAbstractButton* b = box->escapeButton())
                    b->click();
                else
                    box->reject();
            }
        });
        m_timer.start(30);
    }

private:
    QTimer m_timer;
};

class LoaderOnSim {
public:
    // `beforeShow` sees the window before the start-up dialogs run.
    explicit LoaderOnSim(sim::LineConfig config, std::function<void(CMainFrame&)> beforeShow = {},
                         std::string profileExtra = {})
        : line(std::move(config))
    {
        std::filesystem::copy(VOK_SOURCE_DIR "/sample/file", dir.file("file"),
                              std::filesystem::copy_options::recursive);
        std::filesystem::create_directories(dir.file("DATA"));
        dir.write("p.ini", "[VOK_Support]\nBps=6\n" + profileExtra + "[Ports]\nCOM1=" + line.path() + "\n");
        qputenv("VOK_PROFILE", dir.file("p.ini").c_str());
        // A trend section of this test's own: tests run side by side.
        static int sections = 0;
        qputenv("VOK_TREND_SECTION", ("/voktest-loader-" + std::to_string(::getpid()) + "-" + std::to_string(++sections)).c_str());
        m_oldCwd = std::filesystem::current_path();
        std::filesystem::current_path(dir.path());
        driver.answer = [this](QWidget* w) {
            if (auto* select = qobject_cast<CINIT_SelectDlg*>(w)) {
                select->accept();
                return true;
            }
            if (auto* mode = qobject_cast<CINIT_ModeDlg*>(w)) {
                mode->setMode(CINIT_ModeDlg::Reception);
                mode->accept();
                return true;
            }
            return next && next(w);
        };
        frame = std::make_unique<CMainFrame>();
        if (beforeShow)
            beforeShow(*frame);
        frame->show();
        m_ready = waitFor([this] { return frame->ready(); }, 10000)
            && waitFor([this] { return !frame->core().workers->transferRunning(); }, 30000);
        // Let the transfer's last refresh reach the windows.
        waitFor([] { return false; }, 100);
    }
    ~LoaderOnSim()
    {
        if (frame) {
            frame->core().quitWithoutAsking = true;
            frame->close();
            frame.reset();
        }
        std::filesystem::current_path(m_oldCwd);
    }

    bool ready() const { return m_ready; }
    LoaderCore& core() { return frame->core(); }

    SimulatedLine line;
    TempDir dir;
    DialogDriver driver;
    // Dialogs of the test itself, after the start-up dialogs.
    std::function<bool(QWidget*)> next;
    std::unique_ptr<CMainFrame> frame;

private:
    std::filesystem::path m_oldCwd;
    bool m_ready = false;
};

} // namespace vok::test
