#include "mainframe.h"

#include "fileutil.h"
#include "guireporter.h"
#include "textcodec.h"

#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeWidget>

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("VOK loader"));
    statusBar()->showMessage(QString());

    m_profile.reload();
    vok::loadCommSettings(m_profile, m_settings);
    m_settings.online = m_settings.onOffFlag;
    vok::makeDirectories(vok::joinPath(m_settings.workingDir, "DATA"));
    m_texts.load(vok::languageFolderPath(m_settings), vok::joinPath(m_settings.workingDir, "NameStringTBL_trd.csv"));

    m_reporter = std::make_unique<GuiReporter>(m_texts, this);
    m_link = std::make_unique<vok::Link>(m_settings, *m_reporter);

    buildMenus();

    m_splitter = new QSplitter(Qt::Horizontal, this);
    auto* tree = new QTreeWidget(m_splitter);
    tree->setHeaderHidden(true);
    auto* view = new QLabel(m_splitter);
    view->setAutoFillBackground(true);
    m_splitter->addWidget(tree);
    m_splitter->addWidget(view);
    m_splitter->setSizes({240, 800});
    setCentralWidget(m_splitter);
}

CMainFrame::~CMainFrame()
{
    m_link->close();
}

QString CMainFrame::text(int id) const
{
    return vok::decodeText(m_texts.text(id));
}

void CMainFrame::buildMenus()
{
    struct Entry {
        const char* caption;
        int textId; // 0 keeps the caption
    };
    auto addMenu = [this](int textId, const char* fallback, std::initializer_list<Entry> entries) {
        QString title = text(textId);
        QMenu* menu = menuBar()->addMenu(title.isEmpty() ? QString::fromLatin1(fallback) : title);
        QList<QAction*> actions;
        for (const Entry& e : entries) {
            QString caption = e.textId ? text(e.textId) : QString();
            QAction* a = menu->addAction(caption.isEmpty() ? QString::fromLatin1(e.caption) : caption);
            a->setEnabled(false); // commands arrive with the windows that serve them
            actions.push_back(a);
        }
        return actions;
    };
    auto file = addMenu(1, "&File", {{"Setup", 2}, {"&Print...\tCtrl+P", 0}, {"Print Pre&view", 0},
                                     {"P&rint Setup...", 3}, {"E&xit", 4}});
    file.back()->setEnabled(true);
    connect(file.back(), &QAction::triggered, this, &QWidget::close);
    addMenu(5, "&View", {{"ModuleStatus", 8}, {"PilcDisp", 19}, {"TrendDef", 9}, {"Utility", 10}, {"ParametersList", 11}});
    addMenu(12, "&Data", {{"UpLoad (Module->PC)", 13}, {"DownLoad (PC->Module)", 14}, {"Open (File->PC)", 15},
                          {"Save (PC->File)", 16}});
    auto help = addMenu(17, "&Help", {{"&About VOK loader...", 18}});
    help.back()->setEnabled(true);
    connect(help.back(), &QAction::triggered, this, &CMainFrame::showAbout);
}

void CMainFrame::showAbout()
{
    QMessageBox box(this);
    box.setWindowTitle(text(18));
    box.setText(QStringLiteral("VOK loader Version 1.3.6"));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}
