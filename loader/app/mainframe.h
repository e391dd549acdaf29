#pragma once
// The loader's single top-level window: the two panes, the status and meter bars, the
// menu commands, the start-up procedure and the exit.

#include "loadercore.h"
#include "reporter.h"

#include <QMainWindow>
#include <memory>

class GuiReporter;
class CMeterBar;
class QLabel;
class QSplitter;
class QAction;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    LoaderCore& core() { return *m_core; }
    GuiReporter& reporter() { return *m_reporter; }
    CMeterBar* meterBar() const { return m_meter; }
    QString statusText() const;
    // Whether the start-up procedure has run and the window serves commands.
    bool ready() const { return m_ready; }

    // The start-up procedure: module family, definitions, start-up mode. 0, or -1 when a
    // dialog was cancelled (the program then ends without the exit dialog).
    int runStartup();

    // Commands.
    void commandSetup();
    void commandPrintSetup();
    void commandPilcDisp();
    void commandUpload();
    void commandDownload();
    void commandOpen();
    void commandSave();
    void commandAbout();

    // The file dialogs: the bytes read or written, or -1 / -2 as for the parameter files.
    long long openParameterFile();
    long long saveParameterFile();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildMenus();
    void updateStatus();
    void setTransferring(bool on);
    void startTransfer(vok::TransferType type);
    void refreshViews(vok::Refresh what);
    void greyForFamily();
    void shutdown();

    std::unique_ptr<GuiReporter> m_reporter;
    std::unique_ptr<LoaderCore> m_core;
    QSplitter* m_splitter = nullptr;
    QWidget* m_tree = nullptr;
    QWidget* m_view = nullptr;
    QLabel* m_status = nullptr;
    CMeterBar* m_meter = nullptr;
    QList<QAction*> m_familyZeroOnly;
    QList<QAction*> m_dataActions;
    bool m_startupDone = false;
    bool m_ready = false;
    bool m_closing = false;
};
