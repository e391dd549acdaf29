#include "trendwindow.h"

#include "localnames.h"
#include "textcodec.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>

CTrendMainFrame::CTrendMainFrame(QWidget* parent) : QMainWindow(parent)
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
    m_texts.load("NameStringTBL_trd.csv");

    auto orFallback = [this](int id, const char* fallback) {
        QString t = text(id);
        return t.isEmpty() ? QString::fromLatin1(fallback) : t;
    };
    QMenu* file = menuBar()->addMenu(orFallback(1, "&File"));
    QAction* exit = file->addAction(orFallback(4, "E&xit"));
    connect(exit, &QAction::triggered, this, &QWidget::close);
    QMenu* help = menuBar()->addMenu(orFallback(17, "&Help"));
    QAction* version = help->addAction(orFallback(18, "&Version"));
    connect(version, &QAction::triggered, this, [this] {
        QMessageBox box(this);
        box.setWindowTitle(text(18));
        box.setText(QStringLiteral("Trend Version 1.03h"));
        box.exec();
    });

    auto* plot = new QLabel(this);
    plot->setAutoFillBackground(true);
    plot->setMinimumSize(640, 400);
    setCentralWidget(plot);
    statusBar();
}

QString CTrendMainFrame::text(int id) const
{
    return vok::decodeText(m_texts.text(id));
}
