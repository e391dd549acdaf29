#include "singleinstance.h"

#include "localnames.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <unistd.h>

QString SingleInstance::serverName(const QString& base)
{
    return QString::fromStdString(vok::perUserName(base.toStdString()));
}

SingleInstance::SingleInstance(const QString& name) : m_name(serverName(name)) {}

SingleInstance::~SingleInstance() = default;

SingleInstance::Result SingleInstance::claim()
{
    m_lock = std::make_unique<QLockFile>(QDir::tempPath() + "/" + m_name + ".lock");
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(100)) {
        QLocalSocket socket;
        socket.connectToServer(m_name);
        if (socket.waitForConnected(2000)) {
            socket.write("raise\n");
            socket.flush();
            if (socket.waitForReadyRead(3000) && socket.readLine().trimmed() == "ok")
                return Result::RaisedOther;
        }
        return Result::OtherStarting;
    }
    QLocalServer::removeServer(m_name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->listen(m_name);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = m_server->nextPendingConnection()) {
            connect(client, &QLocalSocket::readyRead, client, [this, client] {
                if (!client->canReadLine())
                    return;
                client->readLine();
                const bool raised = raiseWindow && raiseWindow();
                client->write(raised ? "ok\n" : "starting\n");
                client->flush();
                client->disconnectFromServer();
            });
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        }
    });
    return Result::First;
}
