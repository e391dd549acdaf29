#pragma once
// The loader's process-wide state, owned by the main frame: settings, texts, the link and
// the Modbus master, the data store and definition tables, the workers, the trend section.

#include "definitions.h"
#include "link.h"
#include "modbus.h"
#include "settings.h"
#include "store.h"
#include "texttable.h"
#include "transfer.h"
#include "trendbuffer.h"
#include "workers.h"

#include <QString>
#include <memory>

class LoaderCore {
public:
    explicit LoaderCore(vok::Reporter& reporter);
    ~LoaderCore();

    // Reads the profile, loads the text table (and its copy for Trend), makes DATA/.
    void loadSettingsAndTexts();
    // After the module family is chosen: special registers and register maps.
    void loadDefinitions(int family);

    QString text(int id, const char* fallback = "") const;

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
    vok::TrendSection trendSection;

    int family = 0;
    bool quitWithoutAsking = false;
    std::string printerName;
};

// A text of the table for display, or the fallback when the table lacks it.
QString uiText(const vok::TextTable& texts, int id, const char* fallback = "");

class QDialog;
class QDialogButtonBox;
// OK (text 97) and Cancel (text 98), wired to the dialog's accept and reject.
QDialogButtonBox* okCancelButtons(QDialog* dialog, const vok::TextTable& texts);
