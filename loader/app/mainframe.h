#pragma once
// The loader's single top-level window: the two panes, the status and meter bars, the
// menu commands, the start-up procedure and the exit.

#include "loadercore.h"
#include "reporter.h"

#include <QMainWindow>
#include <QPointer>
#include <memory>

class GuiReporter;
class CMeterBar;
class CTreeExp;
class CVokView;
namespace tree {
class ParameterTree;
struct SearchHit;
}
class CDetailDlg;
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
    CTreeExp* treeExplorer() const { return m_tree; }
    CVokView* parameterView() const { return m_view; }
    tree::ParameterTree* parameterTree() const { return m_paramTree.get(); }
    // Loads a page of the tree into the view (mode 0 from the top, 1 keeping the position).
    bool loadPage(int node, int mode);
    // Saves the favourites and hidden marks of the tree's language folder.
    void saveTreeFiles();

    // The start-up procedure: module family, definitions, start-up mode. 0, or -1 when a
    // dialog was cancelled (the program then ends without the exit dialog).
    int runStartup();

    // Opens the input (or, with `detail`, the detail screen) of a cell of the view.
    void openCell(int row, int column, bool detail, const QString& typed = {});

    // Said in the status bar once the start-up has run (the working folder just made).
    void setStartNote(const QString& note) { m_startNote = note; }

    // Commands.
    void commandSetup();
    void commandPrint();
    void commandPrintPreview();
    void commandPrintSetup();
    void commandParametersList();
    // The application's printer, Print Setup's choice.
    class QPrinter& printer();
    void commandModuleStatus();
    void commandUtility();
    void commandPilcDisp();
    void commandTrendDef();
    void commandUpload();
    void commandDownload();
    void commandDownloadChanges();
    void commandCompare();
    void commandOpen();
    void commandSave();
    void commandAbout();
    void commandUndo();
    void commandRedo();
    void commandCopyPage();
    void commandFind();
    // Loads a found parameter's page and selects its row.
    void goTo(const tree::SearchHit& hit);
    class CSearchBox* searchBox() const { return m_search; }

    // The file dialogs: the bytes read or written, or -1 / -2 as for the parameter files.
    long long openParameterFile();
    long long openParameterFile(const QString& path);
    long long saveParameterFile();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildMenus();
    void updateStatus();
    // Enables the commands as the line's users allow (see vok::commandGates).
    void updateCommands();
    // True (said on the status bar) when the command may not run now: while a transfer or a
    // re-read changes the store, or (`moduleStatus`) the module status reads.
    bool refusedNow(bool moduleStatus);
    void startTransfer(vok::TransferType type);
    // The stations of an upload or download (and for a download whether to verify it);
    // false when the person cancelled.
    bool chooseStations(int confirmTextId, bool download);
    bool downloadAllowed();
    // What a finished transfer has to show: a verify's or a comparison's result.
    void transferEnded(vok::TransferType type);
    void refreshViews(vok::Refresh what);
    void greyForFamily();
    void shutdown();
    void buildTree();
    void wireEditor();
    void openCommunication(int station, int channel, int row);
    QWidget* dialogParent();

    std::unique_ptr<GuiReporter> m_reporter;
    std::unique_ptr<LoaderCore> m_core;
    QSplitter* m_splitter = nullptr;
    CTreeExp* m_tree = nullptr;
    class CSearchBox* m_search = nullptr;
    QList<QAction*> m_editActions;
    CVokView* m_view = nullptr;
    std::unique_ptr<tree::ParameterTree> m_paramTree;
    int m_currentPage = -1;
    CDetailDlg* m_detail = nullptr;
    QPointer<class CTrendDefDlg> m_trendDialog;
    // The application's printer: Print Setup's choice, used by every print.
    std::unique_ptr<class QPrinter> m_printer;
    QAction* m_trendDef = nullptr;
    QLabel* m_status = nullptr;
    class QStatusBar* m_statusBar = nullptr;
    CMeterBar* m_meter = nullptr;
    QList<QAction*> m_familyZeroOnly;
    QList<QAction*> m_dataActions;
    QList<QAction*> m_storeActions;
    QAction* m_moduleStatus = nullptr;
    bool m_startupDone = false;
    bool m_verify = true;
    bool m_ready = false;
    QString m_startNote;
    bool m_closing = false;
};
