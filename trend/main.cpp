#include "trendview.h"
#include "trendwindow.h"

#include "workfolder.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs("usage: vok-trend [DataTrend.csv]\n\n"
                       "The trend viewer of the VOK loader: the eight pens that the loader logs, drawn live\n"
                       "from the shared section once a second; or, given a trend log, that log.\n\n"
                       "options:\n  --help       this text\n  --version    the version\n",
                       stdout);
            return 0;
        }
        if (a == "--version") {
            std::printf("vok-trend %s\n", VOK_VERSION);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trend"));
    QApplication::setDesktopFileName(QStringLiteral("org.voktools.trend"));
    // A log given by hand is found where it was named, before the working folder is entered.
    const QStringList args = QApplication::arguments();
    const QString log = args.size() > 1 ? QFileInfo(args.at(1)).absoluteFilePath() : QString();
    // The texts come from the working folder, as the loader's: here when it holds file/ (the
    // loader starts Trend in its own), else the user's.
    const vok::WorkingFolder folder = vok::chooseWorkingFolder(QDir::currentPath().toStdString(), vok::userWorkingFolder(),
                                                               vok::installedSamples(vok::executableFolder()), false);
    if (folder.error.empty())
        QDir::setCurrent(QString::fromStdString(folder.path));
    CTrendMainFrame frame;
    // Without a window manager "maximised" means nothing; fill the screen ourselves.
    if (QGuiApplication::primaryScreen())
        frame.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    frame.showMaximized();
    // The started program takes no arguments; a log file given by hand is shown instead.
    if (!log.isEmpty()) {
        if (!frame.openLog(log))
            return 1;
    } else {
        frame.view()->initialiseLive();
    }
    return app.exec();
}
