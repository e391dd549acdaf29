#pragma once
// The loader's process-wide state, owned by the main frame and handed to the windows that
// work on it: settings, texts, the link and the Modbus master, the data store and definition
// tables, the workers, the trend section. No widgets here.

#include "definitions.h"
#include "editing.h"
#include "link.h"
#include "modbus.h"
#include "settings.h"
#include "store.h"
#include "textcodec.h"
#include "texttable.h"
#include "transfer.h"
#include "undo.h"
#include "trendbuffer.h"
#include "trenddef.h"
#include "trendlog.h"
#include "workers.h"

#include <QString>
#include <map>
#include <memory>

class LoaderCore {
public:
    explicit LoaderCore(vok::Reporter& reporter);
    ~LoaderCore();

    // Reads the profile, loads the text table (and its copy for Trend), makes DATA/.
    void loadSettingsAndTexts();
    // The special registers and register maps of the family from the current language
    // folder (after the family is chosen, and again after a language change).
    void loadDefinitions(int family);

    QString text(int id, const char* fallback = "") const;
    // The encoding of the language folder's text table, for text the user types.
    vok::TextEncoding textEncoding() const;

    vok::Reporter& reporter;
    vok::Profile profile;
    vok::CommSettings settings;
    vok::TextTable texts;
    std::unique_ptr<vok::Link> link;
    std::unique_ptr<vok::ModbusMaster> master;
    vok::DataStore store;
    std::unique_ptr<vok::DefinitionTables> tables;
    std::unique_ptr<vok::TransferContext> transfer;
    std::unique_ptr<vok::Workers> workers;
    std::unique_ptr<edit::Editor> editor;
    // Offline changes that can be taken back.
    vok::UndoHistory undo{store};
    vok::TrendSection trendSection;
    // The trend groups live for the whole run; the logger is made at the first Start.
    vok::TrendDefinitions trendDefs;
    std::unique_ptr<vok::TrendLogger> trendLogger;
    vok::TrendLogger& logger();

    int family = 0;
    bool quitWithoutAsking = false;
    std::string printerName;
    // What was wrong with the size of the parameter file the store was last filled from.
    std::string fileProblem;
    // Said once at start: profile values out of range, a download that did not finish.
    std::vector<std::string> startWarnings;
    // The parameter file the store was last opened from or saved to, and whether anything
    // changed since (for the download record).
    std::string fileName;
    bool changedSinceFile = true;
    std::string sourceFileForRecord() const { return changedSinceFile || fileName.empty() ? "unsaved" : fileName; }
    // The last comparison with the line: the module's value of each differing register, by
    // (station index, register).
    std::map<std::pair<int, int>, std::uint16_t> comparison;
};
