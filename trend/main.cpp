#include "trendview.h"
#include "trendwindow.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trend"));
    QApplication::setDesktopFileName(QStringLiteral("vok-trend"));
    CTrendMainFrame frame;
    // Without a window manager "maximised" means nothing; fill the screen ourselves.
    if (QGuiApplication::primaryScreen())
        frame.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    frame.showMaximized();
    // The started program takes no arguments; a log file given by hand is shown instead.
    const QStringList args = QApplication::arguments();
    if (args.size() > 1) {
        if (!frame.openLog(args.at(1)))
            return 1;
    } else {
        frame.view()->initialiseLive();
    }
    return app.exec();
}
