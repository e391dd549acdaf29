#include "mainframe.h"

#include "commwindow.h"
#include "comsetdlg.h"
#include "desktopwindows.h"
#include "detaildlg.h"
#include "differencedlg.h"
#include "exitdialog.h"
#include "fileutil.h"
#include "guireporter.h"
#include "localnames.h"
#include "uitext.h"
#include "initdialogs.h"
#include "inputdlg.h"
#include "meterbar.h"
#include "modulestatusdlg.h"
#include "paralistdlg.h"
#include "paramfile.h"
#include "pilc.h"
#include "searchbox.h"
#include "singleinstance.h"
#include "stationsetup.h"
#include "textcodec.h"
#include "transferselect.h"
#include "treeexp.h"
#include "trenddefdlg.h"
#include "utilitydlg.h"
#include "vokview.h"

#include <QApplication>
#include <QClipboard>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLocalSocket>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("VOK loader"));
    m_reporter = std::make_unique<GuiReporter>();
    m_core = std::make_unique<LoaderCore>(*m_reporter);
    m_reporter->setTexts(&m_core->texts);
    m_reporter->setWindow(this);

    // Status bar and meter bar first, then the settings and texts, then the menus and panes.
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* status = new QStatusBar(central);
    m_statusBar = status;
    m_status = new QLabel(status);
    m_status->setObjectName("statusText");
    status->addWidget(m_status, 1);
    m_meter = new CMeterBar(central);
    m_meter->setObjectName("meterBar");

    m_core->loadSettingsAndTexts();
    buildMenus();

    m_splitter = new QSplitter(Qt::Horizontal, central);
    auto* left = new QWidget(m_splitter);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(2);
    m_search = new CSearchBox(left);
    m_tree = new CTreeExp(left);
    leftLayout->addWidget(m_search);
    leftLayout->addWidget(m_tree, 1);
    m_search->onChoose = [this](const tree::SearchHit& hit) { goTo(hit); };
    m_tree->setMenuTexts(m_core->text(156, "Favourite"), m_core->text(157, "Hide"));
    m_view = new CVokView(*m_core, m_splitter);
    // Escape stops a transfer and the data-trend logging.
    auto stop = [this] {
        m_core->workers->requestStop();
        if (m_core->trendLogger)
            m_core->trendLogger->stop();
    };
    m_tree->onEscape = stop;
    m_view->onEscape = stop;
    m_tree->onFocusView = [this] { m_view->setFocus(); };
    m_view->onFocusTree = [this] { m_tree->setFocus(); };
    m_tree->onLoadPage = [this](int node, int mode) { loadPage(node, mode); };
    m_view->onOpenCell = [this](int row, int column, bool detail) { openCell(row, column, detail); };
    m_view->onTypedIntoCell = [this](int row, int column, const QString& typed) { openCell(row, column, false, typed); };
    // A choice cell shows its code; the status bar says what the code means.
    m_view->onSelectionText = [this](const QString& text) {
        if (text.isEmpty())
            m_statusBar->clearMessage();
        else
            m_statusBar->showMessage(text);
    };
    wireEditor();
    m_splitter->addWidget(left);
    m_splitter->addWidget(m_view);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({240, 1000});
    layout->addWidget(m_splitter, 1);
    layout->addWidget(status);
    layout->addWidget(m_meter);
    setCentralWidget(central);

    std::string error;
    if (m_core->trendSection.open(&error))
        m_core->trendSection.reset();
    else
        QMessageBox::warning(this, windowTitle(), QString::fromUtf8("データロギング用オープンに失敗しました。"));

    m_reporter->onProgressStart = [this](std::uint32_t total) { m_meter->start(total); };
    m_reporter->onProgressAdvance = [this](int amount) { m_meter->advance(amount); };
    m_reporter->onProgressEnd = [this] { m_meter->finish(); };
    m_reporter->onStatusText = [this](const QString& t) { m_statusBar->showMessage(t, 3000); };
    m_reporter->onNote = [this](const QString& t) { m_statusBar->showMessage(t, 5000); };
    m_reporter->onRefresh = [this](vok::Refresh what) { refreshViews(what); };

    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &CMainFrame::updateStatus);
    timer->start(1000);
    updateStatus();
    // The commands follow the line's users: a transfer's end, a re-read that starts or ends.
    auto* commands = new QTimer(this);
    connect(commands, &QTimer::timeout, this, &CMainFrame::updateCommands);
    commands->start(250);

    // Escape stops a transfer; F6 and Shift+F6 move between the panes.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, stop);
    auto* next = new QShortcut(QKeySequence(Qt::Key_F6), this);
    auto* previous = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6), this);
    auto toggle = [this] {
        if (m_tree->hasFocus())
            m_view->setFocus();
        else
            m_tree->setFocus();
    };
    connect(next, &QShortcut::activated, this, toggle);
    connect(previous, &QShortcut::activated, this, toggle);
}

CMainFrame::~CMainFrame()
{
    shutdown();
}

void CMainFrame::buildMenus()
{
    struct Entry {
        const char* caption;
        int textId; // 0 keeps the caption
        void (CMainFrame::*handler)();
    };
    auto addMenu = [this](int textId, const char* fallback, std::initializer_list<Entry> entries) {
        QMenu* menu = menuBar()->addMenu(m_core->text(textId, fallback));
        QList<QAction*> actions;
        for (const Entry& e : entries) {
            QAction* a = menu->addAction(e.textId ? m_core->text(e.textId, e.caption) : QString::fromLatin1(e.caption));
            a->setObjectName(QString::fromLatin1(e.caption).remove('&').section('\t', 0, 0));
            // A caption's "\tCtrl+P" only shows the key; the shortcut is set apart.
            if (const QString key = QString::fromLatin1(e.caption).section('\t', 1); !key.isEmpty())
                a->setShortcut(QKeySequence(key));
            if (e.handler)
                connect(a, &QAction::triggered, this, e.handler);
            else
                a->setEnabled(false); // the command's window comes with later work
            actions.push_back(a);
        }
        return actions;
    };
    auto file = addMenu(1, "&File", {{"Setup", 2, &CMainFrame::commandSetup},
                                     {"&Print...\tCtrl+P", 0, &CMainFrame::commandPrint},
                                     {"Print Pre&view", 0, &CMainFrame::commandPrintPreview},
                                     {"P&rint Setup...", 3, &CMainFrame::commandPrintSetup},
                                     {"E&xit", 4, nullptr}});
    file[4]->setEnabled(true);
    connect(file[4], &QAction::triggered, this, &QWidget::close);
    // The edit commands are the loader's own; the text table has no texts for them.
    m_editActions = addMenu(0, "&Edit", {{"&Undo\tCtrl+Z", 0, &CMainFrame::commandUndo},
                                         {"&Redo\tCtrl+Y", 0, &CMainFrame::commandRedo},
                                         {"&Copy page\tCtrl+C", 0, &CMainFrame::commandCopyPage},
                                         {"&Find parameter...\tCtrl+F", 0, &CMainFrame::commandFind}});
    if (auto* editMenu = qobject_cast<QMenu*>(m_editActions[0]->parent())) {
        connect(editMenu, &QMenu::aboutToShow, this, [this] {
            const vok::UndoHistory& u = m_core->undo;
            updateCommands();
            m_editActions[0]->setEnabled(u.canUndo() && m_editActions[0]->isEnabled());
            m_editActions[0]->setText(u.canUndo() ? QStringLiteral("&Undo %1").arg(QString::fromStdString(u.undoLabel()))
                                                  : m_core->settings.online ? QStringLiteral("&Undo (online changes are on the module)")
                                                                            : QStringLiteral("&Undo"));
            m_editActions[1]->setEnabled(u.canRedo() && m_editActions[1]->isEnabled());
            m_editActions[1]->setText(u.canRedo() ? QStringLiteral("&Redo %1").arg(QString::fromStdString(u.redoLabel()))
                                                  : QStringLiteral("&Redo"));
        });
    }
    auto view = addMenu(5, "&View", {{"ModuleStatus", 8, &CMainFrame::commandModuleStatus},
                                     {"PilcDisp", 19, &CMainFrame::commandPilcDisp},
                                     {"TrendDef", 9, &CMainFrame::commandTrendDef},
                                     {"Utility", 10, &CMainFrame::commandUtility},
                                     {"ParametersList", 11, &CMainFrame::commandParametersList}});
    // Beside the entries of the text table: the download of the changes and the comparison
    // with the line, which the table has no texts for.
    m_dataActions = addMenu(12, "&Data", {{"UpLoad (Module->PC)", 13, &CMainFrame::commandUpload},
                                          {"DownLoad (PC->Module)", 14, &CMainFrame::commandDownload},
                                          {"DownLoad changes (PC->Module)", 0, &CMainFrame::commandDownloadChanges},
                                          {"Compare (PC<->Module)", 0, &CMainFrame::commandCompare},
                                          {"Open (File->PC)", 15, &CMainFrame::commandOpen},
                                          {"Save (PC->File)", 16, &CMainFrame::commandSave}});
    m_dataActions.push_back(file[0]);
    addMenu(17, "&Help", {{"&About VOK loader...", 18, &CMainFrame::commandAbout}});
    m_familyZeroOnly = {view[2], view[3], file[1], file[2]};
    m_trendDef = view[2];
    m_storeActions = {m_editActions[0], m_editActions[1], view[3], view[4]};
    m_moduleStatus = view[0];
}

void CMainFrame::updateCommands()
{
    // The one place that decides what may be used now, from who uses the line.
    const vok::CommandGates g = vok::commandGates(*m_core->workers, *m_core->link);
    const bool familyZero = m_core->family == 0;
    auto allowed = [&](QAction* a, bool gate) { a->setEnabled(gate && (familyZero || !m_familyZeroOnly.contains(a))); };
    m_splitter->setEnabled(g.editStore);
    for (QAction* a : m_dataActions)
        allowed(a, g.transfers);
    for (QAction* a : m_storeActions)
        allowed(a, g.editStore);
    allowed(m_moduleStatus, g.moduleStatus);
}

bool CMainFrame::refusedNow(bool moduleStatus)
{
    const vok::CommandGates g = vok::commandGates(*m_core->workers, *m_core->link);
    if (moduleStatus ? g.moduleStatus : g.editStore)
        return false;
    m_statusBar->showMessage(QStringLiteral("Not now: %1.").arg(QString::fromStdString(g.why)), 5000);
    return true;
}

void CMainFrame::greyForFamily()
{
    // Without the shared section there is nothing to log into.
    if (!m_core->trendSection.isOpen())
        m_trendDef->setEnabled(false);
    if (m_core->family == 0)
        return;
    for (QAction* a : m_familyZeroOnly)
        a->setEnabled(false);
}

QString CMainFrame::statusText() const
{
    return m_status->text();
}

void CMainFrame::updateStatus()
{
    QString text = m_core->settings.online ? QStringLiteral("Online:") : QStringLiteral("Offline:");
    if (m_core->master->lastCommStatus() != 0)
        text += m_core->text(121, "Communication error");
    else if (m_core->master->currentStation() != 0)
        text += QStringLiteral("ST=%1").arg(m_core->master->currentStation());
    m_status->setText(text);
}

void CMainFrame::refreshViews(vok::Refresh)
{
    // The columns follow the channel lists, which a transfer or a file may have changed.
    if (m_currentPage >= 0)
        loadPage(m_currentPage, 1);
    m_view->update();
    m_tree->update();
}

bool CMainFrame::loadPage(int node, int mode)
{
    if (!m_paramTree)
        return false;
    tree::Page page;
    if (!m_paramTree->loadPage(node, page))
        return false;
    m_currentPage = node;
    m_view->showPage(page, mode == 1);
    return true;
}

void CMainFrame::buildTree()
{
    m_paramTree = std::make_unique<tree::ParameterTree>(*m_core->tables, m_core->texts, m_core->family);
    m_currentPage = -1;
    m_paramTree->onMessage = [this](const std::string& m) {
        QMessageBox::information(this, windowTitle(), QString::fromStdString(m));
    };
    m_paramTree->onTextMessage = [this](int id) { QMessageBox::information(this, windowTitle(), m_core->text(id)); };
    m_paramTree->loadHiddenMarks();
    m_paramTree->build();
    m_core->transfer->nodeSlotsInUse = m_paramTree->slotsInUse();
    m_tree->setTree(m_paramTree.get());
    m_search->setTree(m_paramTree.get());
    const int first = m_paramTree->firstFavouritePage();
    m_tree->selectNode(first);
    loadPage(first, 0);
}

QWidget* CMainFrame::dialogParent()
{
    QWidget* modal = QApplication::activeModalWidget();
    return modal ? modal : this;
}

void CMainFrame::wireEditor()
{
    edit::Editor& e = *m_core->editor;
    e.openCommunication = [this](int station, int channel, int row) { openCommunication(station, channel, row); };
    e.refreshTree = [this] { refreshViews(vok::Refresh::TreeAndViews); };
    e.onChanged = [this] {
        m_core->changedSinceFile = true;
        // What is written online is on the module: the offline steps before it no longer
        // describe the store against the module.
        if (m_core->settings.online && (m_core->undo.canUndo() || m_core->undo.canRedo())) {
            m_core->undo.clear();
            m_statusBar->showMessage(QStringLiteral("Written to the module: online changes cannot be undone"), 5000);
        }
    };
    e.beforeOfflineChange = [this](int stationIndex) { m_core->undo.begin({stationIndex}); };
    e.afterOfflineChange = [this](int, const char* what) { m_core->undo.commit(what); };
    e.onRefused = [this](int textId) { QMessageBox::information(dialogParent(), windowTitle(), m_core->text(textId)); };
    e.onWriteFailed = [this](int textId, int result) {
        QMessageBox::warning(dialogParent(), windowTitle(),
                             m_core->text(textId, "Communication error") + QStringLiteral(" (%1)").arg(QString::fromStdString(
                                 vok::commResultText(result))));
    };
}

void CMainFrame::openCommunication(int station, int channel, int row)
{
    // A command is followed until the module ends it (text 123); a changed defining register
    // has the station read back at once (text 119).
    const QString preset = row >= 0 ? m_core->text(123, "Command running") : m_core->text(119, "Reading");
    // A child of the open detail screen: a modal dialog blocks every window but its own, and
    // Stop must work while the detail screen is open.
    QWidget* parent = m_detail ? static_cast<QWidget*>(m_detail) : this;
    auto* window = new CCommWindow(m_core->texts, *m_core->workers, *m_core->transfer, station, channel, row, preset, parent);
    connect(window, &CCommWindow::ended, this, [this](int finishedStation) {
        refreshViews(vok::Refresh::TreeAndViews);
        if (m_detail && m_detail->station() == finishedStation)
            m_detail->refreshRows();
    });
    window->show();
}

void CMainFrame::openCell(int row, int column, bool detail, const QString& typed)
{
    CVokView* v = m_view;
    if (row < 0 || row >= v->rowCount() || column < 0 || column >= v->columnCount())
        return;
    const vok::ParameterDefinition d = v->definition(row);
    const int channel = v->channelOfColumn(column);
    if (detail) {
        CDetailDlg dialog(*m_core, channel, d, this);
        m_detail = &dialog;
        dialog.exec();
        m_detail = nullptr;
        // A Communication window still following a command outlives the detail screen: its
        // re-read must still run and refresh the store.
        for (CCommWindow* comm : dialog.findChildren<CCommWindow*>()) {
            comm->setParent(this, comm->windowFlags());
            comm->show();
        }
        if (dialog.changed() && m_currentPage >= 0)
            loadPage(m_currentPage, 1);
        return;
    }
    std::uint16_t current = 0;
    m_core->store.getStoredValue(channel / 4 + 1, d.registers[static_cast<std::size_t>(channel % 4)], current);
    if (openInput(*m_core, channel, d, current, edit::Mode::View, this, typed))
        m_view->update();
}

void CMainFrame::saveTreeFiles()
{
    if (!m_paramTree)
        return;
    std::string error;
    if (!m_paramTree->saveFavourites(&error) || !m_paramTree->saveHiddenMarks(&error))
        qWarning("%s", error.c_str());
}

void CMainFrame::startTransfer(vok::TransferType type)
{
    m_core->transfer->verifyAfterDownload = m_verify;
    m_core->transfer->sourceFile = m_core->sourceFileForRecord();
    m_core->workers->onTransferFinished = [this, type](int) {
        QMetaObject::invokeMethod(this, [this, type] {
            transferEnded(type);
            refreshViews(vok::Refresh::TreeAndViews);
            updateCommands();
        }, Qt::QueuedConnection);
    };
    m_core->workers->startTransferWorker(type);
    // While it runs nobody edits; Escape still reaches the frame.
    updateCommands();
}

void CMainFrame::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_startupDone)
        return;
    m_startupDone = true;
    // The start-up procedure runs once the window is up, as the tree's first update.
    QTimer::singleShot(0, this, [this] {
        for (const std::string& w : m_core->startWarnings)
            QMessageBox::warning(this, windowTitle(), QString::fromStdString(w));
        if (runStartup() != 0) {
            m_core->quitWithoutAsking = true;
            close();
            return;
        }
        greyForFamily();
        buildTree();
        m_ready = true;
        if (!m_startNote.isEmpty())
            m_statusBar->showMessage(m_startNote, 15000);
    });
}

int CMainFrame::runStartup()
{
    LoaderCore& c = *m_core;
    c.settings.languageChanges = 0;
    c.profile.reload();
    c.settings.onOffFlag = c.profile.ini().intValue(vok::kProfileSection, "OnOff_flg", 0);
    c.settings.online = c.settings.onOffFlag;
    vok::loadCommSettings(c.profile, c.settings);

    CINIT_SelectDlg familyDialog(c.texts, this);
    if (familyDialog.exec() != QDialog::Accepted)
        return -1;
    c.loadDefinitions(familyDialog.family());
    {
        // The module data reception starts before the tree is shown; its progress total
        // needs the tree's size already.
        tree::ParameterTree counter(*c.tables, c.texts, c.family);
        counter.build();
        c.transfer->nodeSlotsInUse = counter.slotsInUse();
    }

    CINIT_ModeDlg modeDialog(c.texts, c.family, this);
    modeDialog.onInitialValues = [this, &c, &modeDialog] {
        c.settings.online = 0;
        c.settings.startupMode = 0;
        CStSet setup(c.texts, c.store, &modeDialog);
        if (setup.exec() != QDialog::Accepted)
            return false;
        c.store.rebuildChannelLists();
        if (c.family == 0) {
            c.tables->applyDefaults(vok::ListType::Function, c.store);
            c.tables->applyDefaults(vok::ListType::Event, c.store);
        } else {
            c.tables->applyDefaults(c.family == 1 ? vok::ListType::Com : vok::ListType::ProfCom, c.store);
        }
        return true;
    };
    modeDialog.onFromFile = [this, &c] {
        c.settings.online = 0;
        c.settings.startupMode = 1;
        if (openParameterFile() < 0)
            return false;
        c.store.rebuildChannelLists();
        return true;
    };
    modeDialog.onReception = [this, &c, &modeDialog](bool specified) {
        if (c.family != 0) {
            c.store.stationPresent.fill(0);
            c.store.stationPresent[0] = 1;
        } else if (specified) {
            CCStSetDlg2 select(c.texts, {}, &modeDialog);
            if (select.exec() != QDialog::Accepted)
                return false;
            c.store.stationPresent = select.selection();
        } else {
            c.store.stationPresent.fill(1);
        }
        modeDialog.showStatus(c.text(119, "The module connection is being checked."));
        c.store.selectPresentStations();
        startTransfer(vok::TransferType::OnlineStart);
        c.settings.online = 0;
        c.settings.startupMode = 2;
        return true;
    };
    if (modeDialog.exec() != QDialog::Accepted)
        return -1;
    return 0;
}

long long CMainFrame::openParameterFile()
{
    const QString filter = QString::fromStdString(vok::parameterFileFilter(m_core->family));
    const QString path = QFileDialog::getOpenFileName(this, QString(), QDir::currentPath(), filter);
    if (path.isEmpty())
        return -1;
    return openParameterFile(path);
}

long long CMainFrame::openParameterFile(const QString& path)
{
    // An empty file is no parameter file: the store stays as it was.
    QFileInfo info(path);
    if (info.isFile() && info.size() == 0) {
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(vok::parameterFileSizeProblem(path.toStdString(), 0)));
        return -2;
    }
    std::string error;
    long long size = 0;
    const long long n = vok::loadParameterFile(m_core->store, path.toStdString(), &error, &size);
    if (n < 0) {
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(error));
        return n;
    }
    m_core->fileName = path.toStdString();
    m_core->changedSinceFile = false;
    m_core->undo.clear();
    m_core->comparison.clear();
    // A file of another size is said once here, and asked about again before a download.
    m_core->fileProblem = vok::parameterFileSizeProblem(path.toStdString(), size);
    if (!m_core->fileProblem.empty())
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(m_core->fileProblem + "."));
    return n;
}

long long CMainFrame::saveParameterFile()
{
    const auto incomplete = m_core->store.incompleteStations();
    if (!incomplete.empty()) {
        QString stations;
        for (int i : incomplete)
            stations += (stations.isEmpty() ? "" : ", ") + QString::number(i + 1);
        const bool many = incomplete.size() > 1;
        const QString text = QStringLiteral("Station%1 %2 %3 values that were never read from the module%1. %4 "
                                            "saved marked incomplete, and a download leaves %5 out until %6 uploaded "
                                            "again. Save?")
                                 .arg(many ? "s" : "", stations, many ? "hold" : "holds", many ? "They are" : "It is",
                                      many ? "them" : "it", many ? "they are" : "it is");
        if (QMessageBox::question(this, windowTitle(), text, QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
            return -1;
    }
    const QString filter = QString::fromStdString(vok::parameterFileFilter(m_core->family));
    QFileDialog dialog(this, QString(), QDir::currentPath(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QString::fromLatin1(vok::parameterFileExtension(m_core->family)));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return -1;
    std::string error;
    const long long n = vok::saveParameterFile(m_core->store, dialog.selectedFiles().first().toStdString(), &error);
    // A failed save must not look like a saved file; the old file is still there.
    if (n < 0) {
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(error));
    } else {
        m_core->fileName = dialog.selectedFiles().first().toStdString();
        m_core->changedSinceFile = false;
    }
    return n;
}

void CMainFrame::commandSetup()
{
    CComSetDlg dialog(*m_core, this);
    // The files of the folder being left: at the first change, and after any change made to
    // a tree that an earlier change rebuilt.
    dialog.onLanguageChange = [this](bool first) {
        if (first || (m_paramTree && m_paramTree->modified()))
            saveTreeFiles();
    };
    dialog.exec();
    if (dialog.languageChanged() && m_ready) {
        // Names, choices and pages come from the new folder at once, as at start-up.
        m_core->loadDefinitions(m_core->family);
        buildTree();
    }
}

QPrinter& CMainFrame::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

void CMainFrame::commandPrint()
{
    if (m_currentPage < 0)
        return;
    QPrintDialog dialog(&printer(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (printTable(printer(), m_view->printable()) == 0)
        QMessageBox::warning(this, windowTitle(), QStringLiteral("Nothing could be printed: no printer and no file to print to."));
}

void CMainFrame::commandPrintPreview()
{
    if (m_currentPage < 0)
        return;
    QPrintPreviewDialog dialog(&printer(), this);
    const PrintTable table = m_view->printable();
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [&table](QPrinter* p) { printTable(*p, table); });
    dialog.exec();
}

void CMainFrame::commandPrintSetup()
{
    QPrintDialog dialog(&printer(), this);
    dialog.setWindowTitle(QStringLiteral("Print Setup"));
    if (dialog.exec() == QDialog::Accepted)
        m_core->printerName = printer().outputFormat() == QPrinter::NativeFormat ? printer().printerName().toStdString() : std::string();
}

void CMainFrame::commandParametersList()
{
    if (refusedNow(false))
        return;
    CParaListDlg dialog(*m_core, printer(), this);
    dialog.exec();
}

void CMainFrame::commandTrendDef()
{
    // One dialog: a second command brings it to the front.
    if (m_trendDialog) {
        m_trendDialog->show();
        m_trendDialog->raise();
        m_trendDialog->activateWindow();
        return;
    }
    m_trendDialog = new CTrendDefDlg(*m_core, this);
    m_trendDialog->show();
}

void CMainFrame::commandUndo()
{
    if (refusedNow(false))
        return;
    const std::string what = m_core->undo.undoLabel();
    if (!m_core->undo.undo()) {
        m_statusBar->showMessage(m_core->settings.online ? QStringLiteral("Nothing to undo: online changes are on the module")
                                                         : QStringLiteral("Nothing to undo"),
                                 3000);
        return;
    }
    m_core->changedSinceFile = true;
    refreshViews(vok::Refresh::Views);
    m_statusBar->showMessage(QStringLiteral("Undone: %1").arg(QString::fromStdString(what)), 5000);
}

void CMainFrame::commandRedo()
{
    if (refusedNow(false))
        return;
    const std::string what = m_core->undo.redoLabel();
    if (!m_core->undo.redo()) {
        m_statusBar->showMessage(QStringLiteral("Nothing to redo"), 3000);
        return;
    }
    m_core->changedSinceFile = true;
    refreshViews(vok::Refresh::Views);
    m_statusBar->showMessage(QStringLiteral("Redone: %1").arg(QString::fromStdString(what)), 5000);
}

void CMainFrame::commandCopyPage()
{
    if (m_currentPage < 0)
        return;
    QApplication::clipboard()->setText(m_view->pageAsText());
    m_statusBar->showMessage(QStringLiteral("The page is on the clipboard (tab-separated)"), 3000);
}

void CMainFrame::commandFind()
{
    m_search->activate();
}

void CMainFrame::goTo(const tree::SearchHit& hit)
{
    m_tree->selectNode(hit.hidden ? hit.item : hit.page);
    loadPage(hit.page, 0);
    if (hit.hidden) {
        m_statusBar->showMessage(QStringLiteral("\"%1\" is hidden on its page: F4 on the item in the tree shows it").arg(hit.name), 8000);
        m_tree->setFocus();
        return;
    }
    m_view->selectCell(hit.row, 0);
    m_view->setFocus();
}

void CMainFrame::commandModuleStatus()
{
    if (refusedNow(true))
        return;
    CLdbmpDlg dialog(*m_core, this);
    dialog.exec();
}

void CMainFrame::commandUtility()
{
    if (refusedNow(false))
        return;
    CUtyTab dialog(*m_core, this);
    dialog.beforeCopy = [this](const std::vector<int>& stations) {
        std::vector<int> indexes;
        for (int s : stations)
            indexes.push_back(s - 1);
        m_core->undo.begin(indexes);
    };
    dialog.afterCopy = [this](const char* what) {
        m_core->undo.commit(what);
        m_core->changedSinceFile = true;
        refreshViews(vok::Refresh::Views);
    };
    dialog.exec();
}

void CMainFrame::commandPilcDisp()
{
    if (m_core->family == 0) {
        CPilcSetDlg dialog(m_core->texts, m_core->store, this);
        dialog.exec();
    } else {
        CPilcDspDlg dialog(m_core->texts, m_core->store, this);
        dialog.exec();
    }
}

bool CMainFrame::chooseStations(int confirmTextId, bool download)
{
    LoaderCore& c = *m_core;
    if (c.family == 0) {
        CCStSetDlg2 select(c.texts, c.store.stationPresent, this);
        select.showCodes(c.store);
        if (download)
            select.offerVerify(m_verify);
        if (select.exec() != QDialog::Accepted)
            return false;
        c.store.stationSelected = select.selection();
        if (download)
            m_verify = select.verify();
        return true;
    }
    // A communication module is the one station 1.
    c.store.stationSelected.fill(0);
    c.store.stationSelected[0] = 1;
    const QString question = confirmTextId ? c.text(confirmTextId)
                                           : QStringLiteral("Compare the module's parameters with the PC's?");
    QMessageBox box(QMessageBox::Question, windowTitle(), question, QMessageBox::Ok | QMessageBox::Cancel, this);
    QCheckBox* verify = nullptr;
    if (download) {
        verify = new QCheckBox(QStringLiteral("Verify after download"), &box);
        verify->setChecked(m_verify);
        box.setCheckBox(verify);
    }
    if (box.exec() != QMessageBox::Ok)
        return false;
    if (verify)
        m_verify = verify->isChecked();
    return true;
}

void CMainFrame::commandUpload()
{
    if (!chooseStations(126, false))
        return;
    // Asked here, before the worker starts: a worker never waits for an answer.
    if (QMessageBox::question(this, windowTitle(), m_core->text(118, "Save?"), QMessageBox::Ok | QMessageBox::Cancel)
        == QMessageBox::Ok)
        saveParameterFile();
    startTransfer(vok::TransferType::Upload);
}

bool CMainFrame::downloadAllowed()
{
    // A store filled from a file of another size is downloaded only when the person says so.
    return m_core->fileProblem.empty()
        || QMessageBox::question(this, windowTitle(),
                                 QString::fromStdString(m_core->fileProblem) + QStringLiteral(". Download anyway?"),
                                 QMessageBox::Ok | QMessageBox::Cancel)
        == QMessageBox::Ok;
}

void CMainFrame::commandDownload()
{
    if (downloadAllowed() && chooseStations(127, true))
        startTransfer(vok::TransferType::Download);
}

void CMainFrame::commandDownloadChanges()
{
    if (downloadAllowed() && chooseStations(127, true))
        startTransfer(vok::TransferType::DownloadChanges);
}

void CMainFrame::commandCompare()
{
    if (chooseStations(0, false))
        startTransfer(vok::TransferType::Compare);
}

void CMainFrame::transferEnded(vok::TransferType type)
{
    const vok::TransferContext& ctx = *m_core->transfer;
    const bool download = type == vok::TransferType::Download || type == vok::TransferType::DownloadChanges;
    // The store was read from or written to the line: earlier steps no longer apply.
    if (type != vok::TransferType::Compare)
        m_core->undo.clear();
    if (type == vok::TransferType::Compare) {
        m_core->comparison.clear();
        for (const vok::Difference& d : ctx.differences)
            m_core->comparison[{d.station - 1, d.reg}] = d.module;
        refreshViews(vok::Refresh::Views);
        if (ctx.lineDead)
            return;
        if (ctx.differences.empty()) {
            QMessageBox::information(this, windowTitle(),
                                     QStringLiteral("No differences: %1 registers compared.").arg(ctx.confirmed));
        } else {
            CDifferenceDlg dialog(*m_core, QStringLiteral("Compare (PC<->Module)"), ctx.differences, this);
            dialog.exec();
        }
        return;
    }
    // Values read from the line replace what an odd file had left and what was compared.
    if (!download) {
        m_core->fileProblem.clear();
        m_core->comparison.clear();
        m_core->changedSinceFile = true;
        return;
    }
    // A download that did not write or confirm everything has said so in its notice; it is
    // never called verified.
    if (!ctx.verified || ctx.lineDead)
        return;
    if (ctx.differences.empty() && (ctx.notWritten || ctx.notConfirmed)) {
        if (ctx.notConfirmed)
            QMessageBox::warning(this, windowTitle(),
                                 QStringLiteral("Download not verified: %1 of the registers written could not be read "
                                                "back, so they are not confirmed.")
                                     .arg(ctx.notConfirmed));
        return;
    }
    if (ctx.differences.empty()) {
        auto registers = [](int n) { return QStringLiteral("%1 register%2").arg(n).arg(n == 1 ? "" : "s"); };
        QMessageBox::information(this, windowTitle(),
                                 QStringLiteral("Download verified: %1 written, %2 read back and confirmed.")
                                     .arg(registers(ctx.written), registers(ctx.confirmed)));
    } else {
        CDifferenceDlg dialog(*m_core, QStringLiteral("Verify after download"), ctx.differences, this);
        dialog.exec();
    }
}

void CMainFrame::commandOpen()
{
    if (refusedNow(false))
        return;
    if (QMessageBox::question(this, windowTitle(), m_core->text(118, "Save?"), QMessageBox::Ok | QMessageBox::Cancel)
        == QMessageBox::Ok)
        saveParameterFile();
    if (openParameterFile() >= 0)
        m_core->store.rebuildChannelLists();
    if (m_paramTree) {
        const int first = m_paramTree->firstFavouritePage();
        m_tree->selectNode(first);
        loadPage(first, 0);
    }
}

void CMainFrame::commandSave()
{
    if (refusedNow(false))
        return;
    saveParameterFile();
}

void CMainFrame::commandAbout()
{
    QMessageBox box(this);
    box.setWindowTitle(m_core->text(18));
    box.setText(QStringLiteral("VOK loader Version 1.3.6"));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (m_closing) {
        event->accept();
        return;
    }
    if (!m_core->quitWithoutAsking) {
        CSyuuryouDlg dialog(m_core->texts, this);
        dialog.exec();
        if (dialog.answer() == CSyuuryouDlg::Cancel) {
            event->ignore();
            return;
        }
        if (dialog.answer() == CSyuuryouDlg::Yes)
            saveParameterFile();
        // After a language change both were saved at the change, for the old language; the
        // rebuilt tree's own files are saved only when something was changed in it.
        if (m_core->settings.languageChanges == 0 || (m_paramTree && m_paramTree->modified()))
            saveTreeFiles();
    }
    m_closing = true;
    shutdown();
    event->accept();
}

void CMainFrame::shutdown()
{
    if (!m_core)
        return;
    m_reporter->setClosing();
    if (m_trendDialog)
        m_trendDialog->close();
    if (m_core->trendLogger)
        m_core->trendLogger->stop();
    // Trend is asked to close by its window title, and through the socket it listens on
    // (where there is no X11 to find the window by).
    desktop::closeWindows(QString::fromLatin1(vok::kTrendTitle), true);
    QLocalSocket trend;
    trend.connectToServer(QString::fromStdString(vok::perUserName(vok::kTrendTitle)));
    if (trend.waitForConnected(300)) {
        trend.write("close\n");
        trend.flush();
        trend.waitForBytesWritten(300);
    }
    m_core->workers->stopAllWorkers();
    m_core->trendSection.release(true);
}
