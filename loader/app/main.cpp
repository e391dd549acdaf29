#include "mainframe.h"
#include "singleinstance.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QScreen>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VOK loader"));

    SingleInstance instance(QFileInfo(QString::fromLocal8Bit(argv[0])).baseName());
    CMainFrame* frame = nullptr;
    instance.raiseWindow = [&frame] {
        if (!frame)
            return false;
        frame->showNormal();
        frame->showMaximized();
        frame->raise();
        frame->activateWindow();
        return true;
    };
    switch (instance.claim()) {
    case SingleInstance::Result::RaisedOther:
        return 0;
    case SingleInstance::Result::OtherStarting:
        QMessageBox::information(nullptr, QApplication::applicationName(), QStringLiteral("The VOK loader is starting. "));
        return 0;
    case SingleInstance::Result::First:
        break;
    }

    CMainFrame window;
    frame = &window;
    // Without a window manager "maximised" means nothing; fill the screen ourselves.
    window.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    window.showMaximized();
    const int rc = app.exec();
    frame = nullptr;
    return rc;
}
