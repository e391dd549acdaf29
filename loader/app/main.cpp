#include "mainframe.h"

#include <QApplication>
#include <QScreen>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VOK loader"));
    CMainFrame frame;
    // Without a window manager "maximised" means nothing; fill the screen ourselves.
    frame.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    frame.showMaximized();
    return app.exec();
}
