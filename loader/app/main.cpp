#include "mainframe.h"
#include "singleinstance.h"
#include "workfolder.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QScreen>
#include <cstdio>
#include <string>

namespace {

const char* kUsage = R"(usage: vok-loader

The engineering program of the VOK temperature controllers: it reads every parameter of the
modules on an RS-485 line (Modbus RTU) into the PC, shows them in a tree of groups and a grid
of stations and channels, edits them online or offline, writes them back, keeps them in
parameter files, prints and lists them, and logs a data trend that vok-trend shows.

The working folder holds the language folders (file/language1 ...) and DATA/: the current
folder when it holds file/, else $XDG_DATA_HOME/vok-tools (~/.local/share/vok-tools), made at
the first start from the installed sample language folders.

options:
  --help       this text
  --version    the version

environment:
  VOK_PROFILE        the application profile (else ~/.config/vok-loader/vokloader.ini);
                     section [Ports] maps COM1 ... COM9 to devices (else /dev/ttyUSB0 ...)
  XDG_DATA_HOME      where the user's working folder is made

See also vokctl(1), voksim(1), vok-trend.
)";

} // namespace

int main(int argc, char** argv)
{
    // Answered before any window: these work without a display.
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == "--version") {
            std::printf("vok-loader %s\n", VOK_VERSION);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setDesktopFileName(QStringLiteral("org.voktools.loader"));
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

    // Every relative path starts from the working folder: here when it holds file/, else the
    // user's own, made at the first start.
    const vok::WorkingFolder folder = vok::chooseWorkingFolder(QDir::currentPath().toStdString(), vok::userWorkingFolder(),
                                                               vok::installedSamples(vok::executableFolder()));
    if (!folder.error.empty() || !QDir::setCurrent(QString::fromStdString(folder.path))) {
        QMessageBox::critical(nullptr, QApplication::applicationName(),
                              QStringLiteral("The VOK loader has no working folder: %1.").arg(QString::fromStdString(folder.error)));
        return 1;
    }

    CMainFrame window;
    frame = &window;
    window.setStartNote(QString::fromStdString(folder.note));
    // Without a window manager "maximised" means nothing; fill the screen ourselves.
    window.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    window.showMaximized();
    const int rc = app.exec();
    frame = nullptr;
    return rc;
}
