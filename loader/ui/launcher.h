#pragma once
// Starting the other programs: Trend beside the loader, and the spreadsheet program for the
// CSV files (the profile's [Programs] Spreadsheet command line, else libreoffice --calc or
// gnumeric from PATH, else the desktop's open action).

#include <QString>

namespace vok {
class Profile;
}

namespace launcher {

// Starts vok-trend from the loader's own folder, detached, in the working directory.
bool startTrend(QString* error = nullptr);

// The spreadsheet command the profile names or the first one found; empty for none.
QString spreadsheetCommand(const vok::Profile& profile);

// Opens `file` (in `folder`, the working directory of the program) in the spreadsheet
// program; false when nothing could be started.
bool openInSpreadsheet(const vok::Profile& profile, const QString& folder, const QString& file, QString* error = nullptr);

} // namespace launcher
