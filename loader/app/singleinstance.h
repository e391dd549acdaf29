#pragma once
// One loader per user: the first one listens on a local socket named after the program; a
// second start asks it to raise its window and ends.

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;
class QLockFile;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& name);
    ~SingleInstance() override;

    enum class Result { First, RaisedOther, OtherStarting };
    // Claims the name, or tells the running instance to come to the front.
    Result claim();

    // Called in the first instance when another start asks; returns false while there is
    // no main window yet.
    std::function<bool()> raiseWindow;

    static QString serverName(const QString& base);

private:
    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};
