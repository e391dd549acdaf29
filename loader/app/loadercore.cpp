#include "loadercore.h"

#include "fileutil.h"
#include "textcodec.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

LoaderCore::LoaderCore(vok::Reporter& r) : reporter(r)
{
    link = std::make_unique<vok::Link>(settings, reporter);
    master = std::make_unique<vok::ModbusMaster>(*link);
    store.attach(master.get(), &reporter);
    tables = std::make_unique<vok::DefinitionTables>(vok::languageFolderPath(settings), 0);
    transfer = std::make_unique<vok::TransferContext>(*master, store, *tables, reporter);
    workers = std::make_unique<vok::Workers>(*transfer);
}

LoaderCore::~LoaderCore()
{
    workers->stopAllWorkers();
}

void LoaderCore::loadSettingsAndTexts()
{
    profile.reload();
    vok::loadCommSettings(profile, settings);
    settings.online = settings.onOffFlag;
    vok::makeDirectories(vok::joinPath(settings.workingDir, "DATA"));
    texts.load(vok::languageFolderPath(settings), vok::joinPath(settings.workingDir, "NameStringTBL_trd.csv"));
}

void LoaderCore::loadDefinitions(int chosenFamily)
{
    family = chosenFamily;
    master->setModuleFamily(family);
    // The workers hold the transfer context; a new table set needs a new context for them.
    workers->stopAllWorkers();
    workers.reset();
    transfer.reset();
    tables = std::make_unique<vok::DefinitionTables>(vok::languageFolderPath(settings), family);
    tables->loadSpecialRegisters(texts);
    tables->buildRegisterMaps();
    transfer = std::make_unique<vok::TransferContext>(*master, store, *tables, reporter);
    workers = std::make_unique<vok::Workers>(*transfer);
}

QString LoaderCore::text(int id, const char* fallback) const
{
    return uiText(texts, id, fallback);
}

QString uiText(const vok::TextTable& texts, int id, const char* fallback)
{
    const std::string& t = id >= vok::TextTable::kFirstNamed ? texts.named(id)
                           : id >= vok::TextTable::kFirstSlot ? texts.slot(id)
                                                                : texts.text(id);
    return t.empty() ? QString::fromUtf8(fallback) : vok::decodeText(t);
}

QDialogButtonBox* okCancelButtons(QDialog* dialog, const vok::TextTable& texts)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(uiText(texts, 97, "OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(uiText(texts, 98, "Cancel"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}
