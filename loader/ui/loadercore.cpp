#include "loadercore.h"

#include "fileutil.h"
#include "journal.h"
#include "textcodec.h"

LoaderCore::LoaderCore(vok::Reporter& r) : reporter(r)
{
    link = std::make_unique<vok::Link>(settings, reporter);
    master = std::make_unique<vok::ModbusMaster>(*link);
    store.attach(master.get(), &reporter);
    tables = std::make_unique<vok::DefinitionTables>(vok::languageFolderPath(settings), 0);
    transfer = std::make_unique<vok::TransferContext>(*master, store, *tables, reporter);
    workers = std::make_unique<vok::Workers>(*transfer);
    editor = std::make_unique<edit::Editor>(store, *tables, *workers, settings);
}

LoaderCore::~LoaderCore()
{
    if (trendLogger)
        trendLogger->stop();
    workers->stopAllWorkers();
}

vok::TrendLogger& LoaderCore::logger()
{
    if (!trendLogger)
        trendLogger = std::make_unique<vok::TrendLogger>(*master, store, tables->specials(), &trendSection);
    return *trendLogger;
}

void LoaderCore::loadSettingsAndTexts()
{
    profile.reload();
    vok::loadCommSettings(profile, settings, &startWarnings);
    settings.online = settings.onOffFlag;
    vok::makeDirectories(vok::joinPath(settings.workingDir, "DATA"));
    if (std::string w = vok::DownloadJournal(settings.workingDir).pendingWarning(); !w.empty())
        startWarnings.push_back(w);
    texts.load(vok::languageFolderPath(settings), vok::joinPath(settings.workingDir, "NameStringTBL_trd.csv"));
}

void LoaderCore::loadDefinitions(int chosenFamily)
{
    family = chosenFamily;
    master->setModuleFamily(family);
    // The tables are reloaded in place: the transfer context and the workers keep them.
    workers->stopAllWorkers();
    tables->reset(vok::languageFolderPath(settings), family);
    tables->loadSpecialRegisters(texts);
    tables->buildRegisterMaps();
}

QString LoaderCore::text(int id, const char* fallback) const
{
    const std::string& t = texts.text(id);
    return t.empty() ? QString::fromUtf8(fallback) : vok::decodeText(t);
}

vok::TextEncoding LoaderCore::textEncoding() const
{
    auto bytes = vok::readWholeFile(vok::definitionPath(settings, "NameStringTBL.csv"));
    return bytes ? vok::detectEncoding(bytes->view()) : vok::TextEncoding::Utf8;
}
