#include "trendwindow.h"

#include "fileutil.h"
#include "localnames.h"
#include "textcodec.h"
#include "trendcsv.h"
#include "trendview.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollArea>
#include <QStatusBar>

CTrendMainFrame::CTrendMainFrame(int plotWidth, int plotHeight, QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(QString::fromLatin1(vok::kTrendTitle));
    // The loader asks Trend to close through this socket (there may be no X11 to find the window by).
    auto* server = new QLocalServer(this);
    const QString name = QString::fromStdString(vok::perUserName(vok::kTrendTitle));
    QLocalServer::removeServer(name);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    server->listen(name);
    connect(server, &QLocalServer::newConnection, this, [this, server] {
        while (QLocalSocket* client = server->nextPendingConnection()) {
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (client->readAll().contains("close"))
                    close();
            });
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        }
    });
    // The loader's copy of its text table, in the working directory.
    m_texts.load("NameStringTBL_trd.csv");

    QMenu* file = menuBar()->addMenu(text(1, "&File"));
    QAction* save = file->addAction(QStringLiteral("Save picture..."));
    connect(save, &QAction::triggered, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, QString(), QStringLiteral("trend.png"), QStringLiteral("PNG (*.png)"));
        if (!path.isEmpty() && !savePicture(path))
            QMessageBox::warning(this, windowTitle(), QStringLiteral("%1 cannot be written.").arg(path));
    });
    QAction* exit = file->addAction(text(4, "E&xit"));
    connect(exit, &QAction::triggered, this, &QWidget::close);
    QMenu* help = menuBar()->addMenu(text(17, "&Help"));
    QAction* version = help->addAction(text(18, "&Version"));
    connect(version, &QAction::triggered, this, [this] {
        QMessageBox box(this);
        box.setWindowTitle(text(18, ""));
        box.setIconPixmap(windowIcon().pixmap(48, 48));
        box.setText(QStringLiteral("Trend Version 1.03h"));
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
    });

    m_view = new CTrendView(m_texts, plotWidth, plotHeight, this);
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(m_view);
    scroll->setWidgetResizable(true);
    setCentralWidget(scroll);
    statusBar();
}

QString CTrendMainFrame::text(int id, const char* fallback) const
{
    const QString t = vok::decodeText(m_texts.text(id));
    return t.isEmpty() ? QString::fromLatin1(fallback) : t;
}

bool CTrendMainFrame::openLog(const QString& path)
{
    auto bytes = vok::readWholeFile(path.toStdString());
    if (!bytes) {
        QMessageBox::warning(this, windowTitle(), QStringLiteral("%1 cannot be read.").arg(path));
        return false;
    }
    trendplot::TrendData data;
    std::string error;
    const bool whole = trendplot::readTrendLog(bytes->view(), data, &error);
    if (!whole)
        QMessageBox::warning(this, windowTitle(), QStringLiteral("%1, %2; what comes before it is shown.").arg(path, QString::fromStdString(error)));
    if (data.stamps.empty() && !whole)
        return false;
    m_view->showLog(std::move(data));
    statusBar()->showMessage(path);
    return true;
}

bool CTrendMainFrame::savePicture(const QString& path)
{
    return m_view->panelImage().save(path, "PNG");
}

void CTrendMainFrame::closeEvent(QCloseEvent* event)
{
    // The section is let go before the window: the loader sees viewerOpen = 0 at once.
    m_view->release();
    event->accept();
}
