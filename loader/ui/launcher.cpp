#include "launcher.h"

#include "settings.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace launcher {

bool startTrend(QString* error)
{
    const QString program = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("vok-trend"));
    if (!QFileInfo(program).isExecutable()) {
        if (error)
            *error = program + QStringLiteral(" is missing");
        return false;
    }
    if (!QProcess::startDetached(program, {}, QDir::currentPath())) {
        if (error)
            *error = program + QStringLiteral(" could not be started");
        return false;
    }
    return true;
}

QString spreadsheetCommand(const vok::Profile& profile)
{
    if (auto configured = profile.ini().value("Programs", "Spreadsheet"); configured && !configured->empty())
        return QString::fromStdString(*configured);
    if (!QStandardPaths::findExecutable(QStringLiteral("libreoffice")).isEmpty())
        return QStringLiteral("libreoffice --calc");
    if (!QStandardPaths::findExecutable(QStringLiteral("gnumeric")).isEmpty())
        return QStringLiteral("gnumeric");
    return {};
}

bool openInSpreadsheet(const vok::Profile& profile, const QString& folder, const QString& file, QString* error)
{
    const QString path = QDir(folder).absoluteFilePath(file);
    const QString command = spreadsheetCommand(profile);
    if (command.isEmpty()) {
        // No spreadsheet program known: whatever the desktop opens CSV files with.
        if (QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
            return true;
        if (error)
            *error = QStringLiteral("no spreadsheet program was found to open ") + path;
        return false;
    }
    QStringList args = QProcess::splitCommand(command);
    const QString program = args.takeFirst();
    args << path;
    if (!QProcess::startDetached(program, args, folder)) {
        if (error)
            *error = program + QStringLiteral(" could not be started");
        return false;
    }
    return true;
}

} // namespace launcher
