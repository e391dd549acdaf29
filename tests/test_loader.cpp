// The loader's main window at work against the simulated line: the meter, a language change,
// and a GUI-thread write that meets a worker's report.

#include "commwindow.h"
#include "comsetdlg.h"
#include "detaildlg.h"
#include "differencedlg.h"
#include "inputdlg.h"
#include "guireporter.h"
#include "loaderfixture.h"
#include "meterbar.h"
#include "modulestatusdlg.h"
#include "transferselect.h"
#include "trenddefdlg.h"
#include "treeexp.h"
#include "utilitydlg.h"
#include "paralistdlg.h"
#include "searchbox.h"
#include "paramfile.h"
#include "tableprint.h"
#include "vokview.h"

#include <QCheckBox>
#include <QClipboard>
#include <QListWidget>
#include <QStatusBar>
#include <QComboBox>
#include <QTableWidget>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QTest>
#include <QProgressBar>
#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using vok::test::LoaderOnSim;
using vok::test::waitFor;

namespace {

const char* kCodeA = "VOKA112N01000";
const char* kCodeE = "VOKE100N01000";

// The dialogs of an upload: no save first (text 118), the transfer selection as preset.
std::function<bool(QWidget*)> answerUpload(const QString& save)
{
    return [save](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            if (box->text() != save)
                return false;
            box->button(QMessageBox::Cancel)->click();
            return true;
        }
        if (auto* d = qobject_cast<QDialog*>(w)) {
            d->accept();
            return true;
        }
        return false;
    };
}

class ObservedReporter : public GuiReporter {
public:
    void message(int id, const std::string& suffix) override
    {
        ++entered;
        GuiReporter::message(id, suffix);
    }
    std::atomic<int> entered{0};
};

} // namespace

// A worker whose port does not open reports text 100 and waits for the box; meanwhile the
// GUI thread writes a value online. Neither may wait for the other.
TEST(Comm, WorkerReportAndGuiWriteDoNotDeadlock)
{
    vok::test::DialogDriver driver;
    vok::TextTable texts;
    ObservedReporter reporter;
    reporter.setTexts(&texts);
    vok::CommSettings settings;
    settings.online = 1;
    settings.deviceOverride = "/nonexistent/vok-tty";
    vok::Link link(settings, reporter);
    vok::ModbusMaster master(link);
    vok::DataStore store;
    store.attach(&master, &reporter);

    std::atomic<bool> finished{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 200 && !finished; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!finished) {
            std::fprintf(stderr, "deadlock: the GUI-thread write and the worker's report wait for each other\n");
            std::_Exit(1);
        }
    });
    std::atomic<int> workerResult{0};
    std::atomic<bool> workerDone{false};
    std::thread worker([&] {
        std::uint16_t v = 0;
        workerResult = master.readRegisters(link.linkHandle(), 1, 2, &v, 40001);
        workerDone = true;
    });
    // The GUI thread does not serve events until the worker is inside its report.
    for (int i = 0; i < 500 && reporter.entered == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(reporter.entered, 1);
    EXPECT_EQ(store.setValue(1, 40001, 5), vok::kCommOpenFailed);
    EXPECT_TRUE(waitFor([&] { return workerDone.load(); }, 5000));
    worker.join();
    finished = true;
    watchdog.join();
    EXPECT_EQ(workerResult, vok::kCommOpenFailed);
    EXPECT_EQ(reporter.entered, 2) << "each failure said once";
    std::uint16_t stored = 1;
    store.getStoredValue(1, 40001, stored);
    EXPECT_EQ(stored, 0) << "not stored when the module was not reached";
}

// The meter fills during the module data reception and during an upload, and reaches 100.
TEST(Loader, MeterRisesDuringTransfers)
{
    vok::sim::LineConfig c;
    c.stations = {{1, kCodeA}, {2, kCodeA}, {17, kCodeE}};
    std::vector<int> values;
    LoaderOnSim loader(c, [&](CMainFrame& frame) {
        auto* bar = frame.meterBar()->findChild<QProgressBar*>("meter");
        QObject::connect(bar, &QProgressBar::valueChanged, [&](int v) { values.push_back(v); });
    });
    ASSERT_TRUE(loader.ready());
    auto check = [&](const char* what) {
        int rising = 0, top = 0;
        for (std::size_t i = 1; i < values.size(); ++i) {
            if (values[i] > values[i - 1] && values[i] < 100)
                ++rising;
            top = std::max(top, values[i]);
        }
        EXPECT_GE(rising, 10) << what;
        EXPECT_EQ(top, 100) << what;
        EXPECT_EQ(values.back(), 0) << what << ": reset at the end";
    };
    check("module data reception");

    values.clear();
    loader.next = answerUpload(loader.core().text(118, "Save?"));
    loader.frame->commandUpload();
    ASSERT_TRUE(waitFor([&] { return !loader.core().workers->transferRunning() && !values.empty() && values.back() == 0; },
                        30000));
    check("upload");
}

// The progress total: b = stations x node slots of the family's tree; b + b / 2 for the
// standard line, 2 b for the communication families.
TEST(Loader, ProgressTotalByFamily)
{
    vok::TextTable texts;
    texts.load(vok::test::kSampleLanguage, "");
    struct Case {
        int family;
        int slots;
        int stations;
        std::uint32_t total;
    };
    for (Case c : {Case{0, 452, 3, 2034}, Case{0, 452, 1, 678}, Case{1, 25, 1, 50}, Case{2, 25, 3, 150}}) {
        vok::DefinitionTables tables(vok::test::kSampleLanguage, c.family);
        tree::ParameterTree tree(tables, texts, c.family);
        tree.build();
        EXPECT_EQ(tree.slotsInUse(), c.slots) << "family " << c.family;
        vok::DataStore store;
        vok::NullReporter reporter;
        vok::CommSettings settings;
        vok::Link link(settings, reporter);
        vok::ModbusMaster master(link);
        vok::TransferContext ctx(master, store, tables, reporter);
        ctx.nodeSlotsInUse = tree.slotsInUse();
        EXPECT_EQ(vok::Transfers(ctx).progressTotal(c.stations), c.total) << "family " << c.family;
    }
}

// A language change takes the page's names from the new folder at once.
TEST(Loader, LanguageChangeShowsTheNewNames)
{
    vok::sim::LineConfig c;
    c.stations = {{1, kCodeA}};
    LoaderOnSim loader(c);
    ASSERT_TRUE(loader.ready());
    CVokView* view = loader.frame->parameterView();
    ASSERT_GT(view->rowCount(), 0);
    EXPECT_EQ(view->rowName(0), "Process value");
    loader.next = [](QWidget* w) {
        if (auto* d = qobject_cast<CComSetDlg*>(w)) {
            d->language()->setCurrentIndex(1);
            d->accept();
            return true;
        }
        return false;
    };
    loader.frame->commandSetup();
    EXPECT_EQ(loader.core().settings.languageFolder, "language2");
    ASSERT_GT(view->rowCount(), 0);
    EXPECT_EQ(view->rowName(0), QString::fromUtf8("測定値"));
    EXPECT_EQ(view->cellText(0, 0).isEmpty(), false) << "the values are still shown";
    EXPECT_TRUE(vok::fileExists(loader.dir.file("file/language1/View_FlgArea.fil"))) << "the old folder's marks saved";
}

namespace {

// The loader's state on the sample folder, offline, with station 1 defined: no window.
class SampleCore : public ::testing::Test {
protected:
    void SetUp() override
    {
        core.settings.workingDir = VOK_SOURCE_DIR "/sample";
        core.texts.load(vok::test::kSampleLanguage, "");
        core.loadDefinitions(0);
        core.store.stationPresent[0] = 1;
        for (int i = 0; i < 13; ++i)
            core.store.record(0).identification[i] = static_cast<unsigned char>(kCodeA[i]);
        core.store.rebuildChannelLists();
        core.tables->applyDefaults(vok::ListType::Function, core.store);
        core.editor->onRefused = [this](int id) { refused.push_back(id); };
    }
    vok::ParameterDefinition find(const char* key)
    {
        vok::ParameterDefinition d;
        EXPECT_EQ(core.tables->findDefinition(vok::ListType::Function, key, d), vok::kTableOk) << key;
        return d;
    }
    std::uint16_t stored(const vok::ParameterDefinition& d, int channel = 0)
    {
        std::uint16_t v = 0;
        core.store.getStoredValue(channel / 4 + 1, d.registers[static_cast<std::size_t>(channel % 4)], v);
        return v;
    }
    vok::test::DialogDriver driver;
    vok::NullReporter reporter;
    LoaderCore core{reporter};
    std::vector<int> refused;
};

} // namespace

TEST_F(SampleCore, ValueInputKeepsARefusedTextOpen)
{
    const vok::ParameterDefinition pvf = find("PVF");
    core.store.setStoredValue(1, pvf.registers[0], 50);
    CInputDataDlg d(core, 0, pvf, 50, edit::Mode::View);
    EXPECT_EQ(d.windowTitle(), "Input");
    EXPECT_EQ(d.prompt(), "0.0 to 900.0 s");
    EXPECT_EQ(d.field()->text(), "5.0") << "preset with the current value";
    d.show();
    d.field()->setText("900.1");
    d.accept();
    EXPECT_EQ(refused, std::vector<int>{116});
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.field()->text(), "900.1") << "the typed text stays";
    EXPECT_EQ(stored(pvf), 50);
    d.field()->setText("12.34");
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(stored(pvf), 123);
    EXPECT_TRUE(core.store.isEdited(0, pvf.registers[0]));
}

TEST_F(SampleCore, DetailScreenRowsScrollAndPictures)
{
    using Picture = CDetailDlg::Picture;
    for (auto [name, kind] : {std::pair{"x.Bmp", Picture::Document}, {".bmp", Picture::Document}, {"a.bmp", Picture::Bitmap},
                              {"a.BMP", Picture::Bitmap}, {"a.JPG", Picture::Jpeg}, {"Manual.pdf", Picture::Document},
                              {"", Picture::None}})
        EXPECT_EQ(CDetailDlg::pictureKindOf(name), kind) << name;

    // Alarm 1's group: six rows, no scrolling, a manual instead of a picture.
    CDetailDlg alarms(core, 0, find("AL1"), nullptr);
    EXPECT_EQ(alarms.rowCount(), 6);
    EXPECT_FALSE(alarms.scrollEnabled());
    EXPECT_EQ(alarms.pictureKind(), Picture::Document);
    EXPECT_TRUE(alarms.findChild<QPushButton*>("manual")->isVisibleTo(&alarms));
    QTest::keyClick(&alarms, Qt::Key_Up);
    EXPECT_EQ(alarms.selectedRow(), 0);
    for (int i = 0; i < 8; ++i)
        QTest::keyClick(&alarms, Qt::Key_Down);
    EXPECT_EQ(alarms.selectedRow(), 5) << "Down stops at the last row";
    EXPECT_EQ(alarms.firstRow(), 0);
    EXPECT_EQ(alarms.cellText(1, 0), "AL1");
    EXPECT_EQ(alarms.cellText(1, 3), "10.0") << "alarm value 100 with the channel's decimal point";

    // The input group: eleven rows; Down on the tenth shown row scrolls by one.
    CDetailDlg input(core, 0, find("INTYP"), nullptr);
    EXPECT_EQ(input.rowCount(), 11);
    EXPECT_TRUE(input.scrollEnabled());
    for (int i = 0; i < 9; ++i)
        QTest::keyClick(&input, Qt::Key_Down);
    EXPECT_EQ(input.selectedRow(), 9);
    EXPECT_EQ(input.firstRow(), 0);
    QTest::keyClick(&input, Qt::Key_Down);
    EXPECT_EQ(input.firstRow(), 1);
    EXPECT_EQ(input.pictureKind(), Picture::Bitmap);
    EXPECT_TRUE(input.pictureLoaded());
    EXPECT_FALSE(input.findChild<QPushButton*>("manual")->isVisibleTo(&input));

    // A double click on the header band opens nothing; a missing picture is just not there.
    vok::ParameterDefinition sv = find("SV");
    CDetailDlg pid(core, 0, sv, nullptr);
    EXPECT_EQ(pid.pictureKind(), Picture::Jpeg);
    EXPECT_TRUE(pid.pictureLoaded());
    pid.editAt(10);
    EXPECT_FALSE(pid.changed());
    sv.extraText = "missing.bmp";
    CDetailDlg missing(core, 0, sv, nullptr);
    EXPECT_FALSE(missing.pictureLoaded());
    EXPECT_TRUE(driver.messages.isEmpty()) << "no message for a missing picture";

    // An edited value is drawn red.
    core.store.markEdited(0, sv.registers[0]);
    pid.resize(720, 560);
    pid.show();
    const QImage grid = pid.gridImage();
    bool red = false;
    for (int y = 0; y < grid.height() && !red; ++y)
        for (int x = 0; x < grid.width() && !red; ++x)
            red = grid.pixelColor(x, y) == QColor(255, 0, 0);
    EXPECT_TRUE(red);
}

// Online, a new range goes to the module, the "Communication" window reads the station
// back, and the store then holds the module's own recalculation of the channel.
TEST(Loader, OnlineRangeChangeReadsTheModulesRecalculation)
{
    vok::sim::LineConfig c;
    c.stations = {{1, kCodeA}};
    LoaderOnSim loader(c);
    ASSERT_TRUE(loader.ready());
    LoaderCore& core = loader.core();
    auto find = [&](const char* key) {
        vok::ParameterDefinition d;
        core.tables->findDefinition(vok::ListType::Function, key, d);
        return d;
    };
    const vok::ParameterDefinition inputType = find("INTYP"), rangeUpper = find("RNGH"), sv = find("SV"), p = find("P");
    loader.line.sim().setRegister(1, sv.registers[0], 500);
    core.store.setStoredValue(1, sv.registers[0], 500);
    core.settings.online = 1;
    ASSERT_EQ(core.editor->commitCode(0, inputType, 0, 21, edit::Mode::View), edit::Editor::Result::Accepted);
    auto commWindowOpen = [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<CCommWindow*>(w) && w->isVisible())
                return true;
        return false;
    };
    ASSERT_TRUE(waitFor([&] { return !commWindowOpen(); }, 20000));
    std::uint16_t oldUpper = 0;
    core.store.getStoredValue(1, rangeUpper.registers[0], oldUpper);
    ASSERT_EQ(edit::refusal(core.store, core.tables->specials(), 0, rangeUpper), 0) << "input type 21 frees the range";
    const auto typed = edit::convert("300.0", rangeUpper.dataType, rangeUpper.decimals,
                                     core.editor->formatter().channelDecimals(0, 0), false);
    ASSERT_EQ(core.editor->commitValue(0, rangeUpper, oldUpper, *typed, edit::Mode::View), edit::Editor::Result::Accepted);
    EXPECT_TRUE(commWindowOpen()) << "the station is read back";
    ASSERT_TRUE(waitFor([&] { return !commWindowOpen(); }, 20000));
    for (const vok::ParameterDefinition* d : {&rangeUpper, &sv, &p}) {
        std::uint16_t pc = 0;
        core.store.getStoredValue(1, d->registers[0], pc);
        EXPECT_EQ(std::optional<std::uint16_t>(pc), loader.line.sim().registerValue(1, d->registers[0])) << d->key;
    }
    std::uint16_t upper = 0, setValue = 0;
    core.store.getStoredValue(1, rangeUpper.registers[0], upper);
    core.store.getStoredValue(1, sv.registers[0], setValue);
    EXPECT_EQ(upper, 3000);
    EXPECT_EQ(setValue, 1000) << "the module rescaled the set value with the range";
}

// A file of another size is said when it is opened and asked about before a download; a
// store with incomplete stations is asked about before it is saved.
TEST(Loader, OddFilesAndIncompleteStationsAreAskedAbout)
{
    vok::sim::LineConfig c;
    c.stations = {{1, kCodeA}, {2, kCodeA}};
    LoaderOnSim loader(c);
    ASSERT_TRUE(loader.ready());
    LoaderCore& core = loader.core();
    const std::string whole = loader.dir.file("whole.dat");
    ASSERT_GT(vok::saveParameterFile(core.store, whole), 0);
    const std::string cut = loader.dir.write("cut.dat", vok::test::readFile(whole).substr(0, 60000));

    loader.driver.messages.clear();
    EXPECT_EQ(loader.frame->openParameterFile(QString::fromStdString(cut)), 60000);
    ASSERT_EQ(loader.driver.messages.size(), 1);
    EXPECT_TRUE(loader.driver.messages[0].contains("cut short"));
    EXPECT_EQ(core.store.incompleteStations(), std::vector<int>{1}) << "station 2's record is cut";

    loader.frame->commandDownload(); // answered with Cancel
    ASSERT_EQ(loader.driver.messages.size(), 2);
    EXPECT_TRUE(loader.driver.messages[1].contains("Download anyway?"));
    EXPECT_FALSE(core.workers->transferRunning());

    EXPECT_EQ(loader.frame->saveParameterFile(), -1) << "Cancel to the question saves nothing";
    ASSERT_EQ(loader.driver.messages.size(), 3);
    EXPECT_TRUE(loader.driver.messages[2].contains("Station 2 holds values that were never read")) << loader.driver.messages[2].toStdString();

    EXPECT_EQ(loader.frame->openParameterFile(QString::fromStdString(loader.dir.write("empty.dat", ""))), -2);
    EXPECT_TRUE(loader.driver.messages.last().contains("is empty"));
    EXPECT_EQ(core.store.stationPresent[0], 1) << "an empty file leaves the store as it was";
}

// Through the windows: three offline edits go down alone and verified; a value changed on
// the module behind the loader's back is found by the comparison, in its cell.
TEST(Loader, ChangesDownloadAndCompare)
{
    vok::sim::LineConfig c;
    c.stations = {{1, kCodeA}};
    LoaderOnSim loader(c);
    ASSERT_TRUE(loader.ready());
    LoaderCore& core = loader.core();
    CVokView* view = loader.frame->parameterView();
    ASSERT_GT(view->rowCount(), 2);
    // The favourites page: row 1 is the set value; columns are station 1's channels.
    const vok::ParameterDefinition sv = view->definition(1);
    for (int channel : {0, 1, 2}) {
        const auto raw = edit::convert("12.5", sv.dataType, sv.decimals, core.editor->formatter().channelDecimals(channel, 0), false);
        std::uint16_t current = 0;
        core.store.getStoredValue(1, sv.registers[static_cast<std::size_t>(channel)], current);
        ASSERT_EQ(core.editor->commitValue(channel, sv, current, *raw, edit::Mode::View), edit::Editor::Result::Accepted);
    }
    QStringList seen;
    int differences = -1;
    loader.next = [&](QWidget* w) {
        if (auto* select = qobject_cast<CCStSetDlg2*>(w)) {
            auto* verify = select->findChild<QCheckBox*>("verify");
            EXPECT_TRUE(verify->isHidden() || verify->isChecked()) << "verify is on at first, for downloads";
            select->accept();
            return true;
        }
        if (auto* list = qobject_cast<CDifferenceDlg*>(w)) {
            differences = list->table()->rowCount();
            list->reject();
            return true;
        }
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            seen << box->text();
            box->accept();
            return true;
        }
        return false;
    };
    loader.line.sim().clearWrites();
    loader.frame->commandDownloadChanges();
    ASSERT_TRUE(waitFor([&] { return !core.workers->transferRunning() && !seen.isEmpty(); }, 20000));
    EXPECT_TRUE(seen.last().startsWith("Download verified: 3 registers written")) << seen.last().toStdString();
    EXPECT_EQ(loader.line.sim().writes().size(), 3u);
    EXPECT_FALSE(view->cellEdited(1, 0)) << "confirmed changes are no longer red";

    loader.line.sim().setRegister(1, sv.registers[1], 777);
    loader.frame->commandCompare();
    ASSERT_TRUE(waitFor([&] { return !core.workers->transferRunning() && differences >= 0; }, 20000));
    EXPECT_EQ(differences, 1);
    EXPECT_TRUE(view->comparedText(1, 0).isEmpty());
    EXPECT_EQ(view->comparedText(1, 1), "77.7");
    EXPECT_TRUE(view->comparedText(1, 2).isEmpty());
    std::uint16_t pc = 0;
    core.store.getStoredValue(1, sv.registers[1], pc);
    EXPECT_EQ(pc, 125) << "the comparison leaves the store as it was";
}

// The trend definition dialog: groups shown and stored as they are switched, Start logs the
// selected group into the section and the file, Stop ends it, closing keeps the groups.
TEST(Loader, TrendDefinitionDialogLogsTheSelectedGroup)
{
    vok::sim::LineConfig c;
    c.stations = {{1, kCodeA}, {2, kCodeA}};
    LoaderOnSim loader(c);
    ASSERT_TRUE(loader.ready());
    LoaderCore& core = loader.core();
    ASSERT_TRUE(core.trendSection.isOpen());
    loader.frame->commandTrendDef();
    auto* dialog = loader.frame->findChild<CTrendDefDlg*>();
    ASSERT_TRUE(dialog);
    loader.frame->commandTrendDef();
    EXPECT_EQ(loader.frame->findChildren<CTrendDefDlg*>().size(), 1) << "a second command shows the same dialog";
    EXPECT_EQ(dialog->group()->currentText(), "Furnace zones 1-4");
    EXPECT_EQ(dialog->item(0)->currentText(), "Process value");
    EXPECT_EQ(dialog->station(4)->currentText(), "2");

    // Switching stores what is shown; the name never comes from the dialog.
    dialog->minimum(0)->setText("12.345");
    dialog->item(1)->setCurrentIndex(0); // the none item
    dialog->chooseGroup(1);
    EXPECT_EQ(dialog->station(0)->currentText(), "3");
    dialog->chooseGroup(0);
    EXPECT_DOUBLE_EQ(core.trendDefs.groups[0].pens[0].scaleMin, 12.34);
    EXPECT_TRUE(core.trendDefs.groups[0].pens[1].unused);

    dialog->cycle()->setCurrentIndex(0);
    dialog->startLogging();
    EXPECT_FALSE(dialog->button("start")->isEnabled());
    EXPECT_FALSE(dialog->group()->isEnabled());
    EXPECT_FALSE(dialog->button("csvDisp")->isEnabled());
    const std::string csv = loader.dir.file("DATA/DataTrend.csv");
    ASSERT_TRUE(waitFor([&] {
        const std::string text = vok::test::readFile(csv);
        return std::count(text.begin(), text.end(), '\n') >= 5;
    }, 10000));
    const vok::TrendBuffer& b = *core.trendSection.buffer();
    EXPECT_EQ(std::string(b.groupName), "Furnace zones 1-4");
    EXPECT_EQ(b.pens[0].used, 1);
    EXPECT_EQ(b.pens[1].used, 0) << "the none item samples nothing";
    EXPECT_GE(b.newestSlot, 1);
    dialog->stopLogging();
    EXPECT_TRUE(dialog->button("start")->isEnabled());
    EXPECT_FALSE(core.trendLogger->running());

    dialog->close();
    const std::string saved = vok::test::readFile(loader.dir.file("file/language1/DataTrendDefine.csv"));
    EXPECT_NE(saved.find("Group1,1,Furnace zones 1-4,,,\r\n1,1,1,Process value,12.3,120.0\r\n2,1,2,(none),"),
              std::string::npos)
        << saved.substr(0, 200);
}

namespace {

// What a program prints, and its exit status.
std::pair<int, std::string> runCommand(const std::string& command)
{
    std::string out;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p)
        return {-1, out};
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    const int status = ::pclose(p);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

int pdfPages(const std::string& pdf)
{
    const auto [rc, info] = runCommand("pdfinfo " + pdf);
    const auto at = info.find("Pages:");
    return rc == 0 && at != std::string::npos ? std::atoi(info.c_str() + at + 6) : -1;
}

std::string pdfText(const std::string& pdf)
{
    return runCommand("pdftotext -layout " + pdf + " -").second;
}

void printToPdf(QPrinter& printer, const std::string& pdf)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf));
}

} // namespace

// A table larger than a page goes across and down, the title and headings on every page.
TEST(Printing, TableIsPaginatedAcrossAndDown)
{
    vok::test::TempDir dir;
    PrintTable t;
    t.title = "Wide and long";
    t.headings << "";
    for (int c = 1; c <= 40; ++c)
        t.headings << QStringLiteral("%1 - ch%2").arg((c - 1) / 4 + 1).arg((c - 1) % 4 + 1);
    for (int r = 0; r < 120; ++r) {
        QStringList row{QStringLiteral("Parameter %1").arg(r)};
        for (int c = 1; c <= 40; ++c)
            row << QString::number(r * 100 + c);
        t.rows.push_back(row);
    }
    QPrinter printer(QPrinter::HighResolution);
    printToPdf(printer, dir.file("t.pdf"));
    const int pages = printTable(printer, t);
    ASSERT_GT(pages, 2);
    EXPECT_EQ(pdfPages(dir.file("t.pdf")), pages);
    const std::string text = pdfText(dir.file("t.pdf"));
    std::size_t titles = 0;
    for (std::size_t at = 0; (at = text.find("Wide and long", at)) != std::string::npos; ++at)
        ++titles;
    EXPECT_EQ(titles, static_cast<std::size_t>(pages)) << "the title on every page";
    for (const char* expected : {"10 - ch4", "Parameter 119", "11940", "Parameter 0"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected;

    QPrinter nowhere;
    nowhere.setOutputFormat(QPrinter::PdfFormat);
    nowhere.setOutputFileName(QString::fromStdString(dir.file("no/such/folder/t.pdf")));
    EXPECT_EQ(printTable(nowhere, t), 0) << "a file that cannot be made prints nothing";
}

// Print of the page: every station and channel of the page, not only the eight on screen,
// with "-" for a failed register.
TEST(Loader, PrintsTheWholePage)
{
    vok::sim::LineConfig c;
    c.stations = {{1, kCodeA}, {2, kCodeA}, {3, kCodeA}};
    LoaderOnSim loader(c);
    ASSERT_TRUE(loader.ready());
    CVokView* view = loader.frame->parameterView();
    ASSERT_EQ(view->columnCount(), 12);
    ASSERT_EQ(view->rowName(1), "Set value");
    loader.core().store.setCommError(1, view->definition(1).registers[0], 1);
    const std::string pdf = loader.dir.file("page.pdf");
    printToPdf(loader.frame->printer(), pdf);
    bool asked = false;
    loader.next = [&](QWidget* w) {
        if (auto* d = qobject_cast<QPrintDialog*>(w)) {
            asked = true;
            d->accept();
            return true;
        }
        return false;
    };
    loader.frame->commandPrint();
    EXPECT_TRUE(asked);
    ASSERT_GE(pdfPages(pdf), 1);
    const std::string text = pdfText(pdf);
    for (const char* expected : {"Process value", "Set value", "1 - ch1", "3 - ch4", "100.0", " - "})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text.substr(0, 2000);
    EXPECT_NE(text.find(view->title().toStdString()), std::string::npos) << "the page title";
}

// The parameter list: CSV Disp writes the list for the spreadsheet and opens it there; Print
// hands the print workbook its control file, or prints the list here when there is none.
TEST(Loader, ParameterListForTheSpreadsheetAndThePrinter)
{
    const std::string script = "/tmp/vok-spreadsheet-" + std::to_string(::getpid()) + ".sh";
    vok::test::TempDir record;
    ASSERT_EQ(vok::replaceFile(script, "#!/bin/sh\necho \"$PWD $*\" >> " + record.file("calls") + "\n"), vok::WriteResult::Ok);
    ::chmod(script.c_str(), 0755);
    vok::sim::LineConfig c;
    c.stations = {{1, kCodeA}, {2, kCodeA}, {17, kCodeE}};
    LoaderOnSim loader(c, {}, "[Programs]\nSpreadsheet=" + script + "\n");
    ASSERT_TRUE(loader.ready());
    const std::string workingDir = std::filesystem::current_path().string();
    const std::string list = loader.dir.file("DATA/ParameterOutputList.csv");

    std::function<void(CParaListDlg*)> act;
    loader.next = [&](QWidget* w) {
        if (auto* d = qobject_cast<CParaListDlg*>(w)) {
            // After this timer's turn: the command may open dialogs of its own.
            if (act)
                QTimer::singleShot(0, d, [d, a = std::exchange(act, nullptr)] { a(d); });
            return true;
        }
        if (auto* p = qobject_cast<QPrintDialog*>(w)) {
            p->accept();
            return true;
        }
        return false;
    };
    act = [](CParaListDlg* d) {
        EXPECT_EQ(d->comment()->text(), "user comment");
        EXPECT_TRUE(d->kinds()->isEnabled());
        EXPECT_EQ(d->kinds()->count(), 5);
        d->comment()->setText("Site A");
        d->findChild<QPushButton*>("csvDisp")->click();
    };
    loader.frame->commandParametersList();
    std::string text = vok::test::readFile(list);
    EXPECT_EQ(text.rfind("Site A,\r\n,\r\n[1],[2],[3],1 - (1),1 - (2),1 - (3),1 - (4),2 - (1)", 0), 0u) << text.substr(0, 200);
    EXPECT_NE(text.find(",'0000,"), std::string::npos) << "for showing, bit patterns are kept as text";
    ASSERT_TRUE(waitFor([&] { return vok::fileExists(record.file("calls")); }, 5000));
    EXPECT_EQ(vok::test::readFile(record.file("calls")), workingDir + "/DATA " + list + "\n");

    // Print without the workbook: the list printed here, to the PDF the printer names.
    const std::string pdf = loader.dir.file("list.pdf");
    printToPdf(loader.frame->printer(), pdf);
    act = [](CParaListDlg* d) {
        d->kinds()->setCurrentIndex(1); // the events
        d->findChild<QPushButton*>("print")->click();
    };
    loader.frame->commandParametersList();
    text = vok::test::readFile(list);
    EXPECT_EQ(text.rfind("user comment,\r\n,\r\n[1],[2],[3],17,unit,\r\n", 0), 0u) << text.substr(0, 200);
    EXPECT_EQ(text.find(",'"), std::string::npos) << "for printing, no apostrophes";
    const std::string printed = pdfText(pdf);
    for (const char* expected : {"Input 1 function", "Counter reset", "17"})
        EXPECT_NE(printed.find(expected), std::string::npos) << expected;

    // With the workbook: its control file, and the spreadsheet started on it.
    loader.dir.write("LDPrint.xls", "workbook");
    act = [](CParaListDlg* d) { d->findChild<QPushButton*>("print")->click(); };
    loader.frame->commandParametersList();
    EXPECT_EQ(vok::test::readFile(loader.dir.file("LDPrint.wrk")),
              "0/" + workingDir + "/DATA/ParameterOutputList.csv/LDPrint/1/12/0/END");
    ASSERT_TRUE(waitFor([&] { return vok::test::readFile(record.file("calls")).find("LDPrint.xls") != std::string::npos; }, 5000));

    // No spreadsheet program: text 102, once.
    loader.core().profile.ini().setValue("Programs", "Spreadsheet", "/nonexistent/spreadsheet");
    loader.driver.messages.clear();
    act = [](CParaListDlg* d) { d->findChild<QPushButton*>("csvDisp")->click(); };
    loader.frame->commandParametersList();
    ASSERT_EQ(loader.driver.messages.size(), 1);
    EXPECT_TRUE(loader.driver.messages[0].startsWith(loader.core().text(102))) << loader.driver.messages[0].toStdString();
    std::filesystem::remove(script);
}

// The utility dialog copies in the store: the copied values turn red, the dialog stays open,
// and refusals are said.
TEST(Loader, UtilityCopiesChannelsAndStations)
{
    vok::sim::LineConfig c;
    c.stations = {{1, kCodeA}, {2, kCodeA}, {3, "VOKB200N01R00"}, {4, "VOKV100N01000"}, {17, kCodeE}};
    LoaderOnSim loader(c);
    ASSERT_TRUE(loader.ready());
    LoaderCore& core = loader.core();
    CVokView* view = loader.frame->parameterView();
    ASSERT_EQ(view->rowName(1), "Set value");
    const int sv = view->definition(1).registers[0];
    core.store.setStoredValue(1, sv, 555);

    auto items = [](QComboBox* box) {
        QStringList out;
        for (int i = 0; i < box->count(); ++i)
            out << box->itemText(i);
        return out.join(',');
    };
    std::function<void(CUtyTab*)> act;
    loader.next = [&](QWidget* w) {
        if (auto* d = qobject_cast<CUtyTab*>(w)) {
            if (act)
                QTimer::singleShot(0, d, [d, a = std::exchange(act, nullptr)] { a(d); });
            return true;
        }
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box && box->standardButtons().testFlag(QMessageBox::Ok) && box->standardButtons().testFlag(QMessageBox::Cancel)) {
            loader.driver.messages << box->text();
            box->button(QMessageBox::Ok)->click();
            return true;
        }
        return false;
    };
    act = [&](CUtyTab* d) {
        EXPECT_EQ(items(d->fromStation()), "1,2,3,4");
        EXPECT_TRUE(d->fromChannel()->isVisible());
        d->firstTarget()->setCurrentIndex(1);
        d->lastTarget()->setCurrentIndex(3);
        d->execute(); // channel 1 of station 1 onto channels 2-4
        EXPECT_TRUE(d->isVisible()) << "the dialog stays open";

        d->chooseTab(CUtyTab::StationCopy);
        EXPECT_FALSE(d->fromChannel()->isVisible());
        d->firstTarget()->setCurrentIndex(1);
        d->lastTarget()->setCurrentIndex(2);
        d->execute(); // station 1 onto 2..3 (A onto A..B)
        d->lastTarget()->setCurrentIndex(3);
        d->execute(); // onto 2..4: V does not fit
        d->firstTarget()->setCurrentIndex(2);
        d->lastTarget()->setCurrentIndex(1);
        d->execute(); // 3..2

        d->chooseTab(CUtyTab::EventStationCopy);
        EXPECT_EQ(items(d->fromStation()), "17");
        EXPECT_EQ(items(d->lastTarget()), "17");
        d->reject();
    };
    loader.frame->commandUtility();
    ASSERT_EQ(loader.driver.messages.size(), 6) << loader.driver.messages.join(" | ").toStdString();
    EXPECT_EQ(loader.driver.messages[0], core.text(104));
    EXPECT_EQ(loader.driver.messages[1], core.text(103));
    EXPECT_EQ(loader.driver.messages[3], core.text(128));
    EXPECT_EQ(loader.driver.messages[5], core.text(116));
    for (int column : {1, 2, 3, 4, 8}) {
        EXPECT_EQ(view->cellText(1, column), "55.5") << column;
        EXPECT_TRUE(view->cellEdited(1, column)) << column;
    }
    EXPECT_FALSE(view->cellEdited(1, 0)) << "the source is not a change";
    std::uint16_t v = 0;
    core.store.getStoredValue(4, sv, v);
    EXPECT_NE(v, 555) << "nothing copied onto the V module";
}

// The module status screen reads the line on a worker: every module with its picture; a
// port that does not open leaves it empty, said once.
TEST(Loader, ModuleStatusShowsEveryModule)
{
    vok::sim::LineConfig c;
    c.stations = {{1, kCodeA}, {3, "VOKB200N01R00"}, {17, kCodeE}};
    c.modules[64] = "VOKP100N01000";
    LoaderOnSim loader(c);
    ASSERT_TRUE(loader.ready());
    std::vector<vok::ModuleStatus> shown;
    int rows = 0;
    bool pictures = false;
    loader.next = [&](QWidget* w) {
        if (auto* d = qobject_cast<CLdbmpDlg*>(w)) {
            if (d->finished()) {
                shown = d->shown();
                rows = d->rows();
                pictures = !d->picture(0).isNull() && !d->picture(9).isNull();
                d->reject();
            }
            return true;
        }
        return false;
    };
    loader.frame->commandModuleStatus();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].heading, 64);
    EXPECT_EQ(shown[1].heading, 1);
    EXPECT_EQ(shown[2].picture, 2);
    EXPECT_EQ(shown[3].heading, 17);
    EXPECT_EQ(rows, 1);
    EXPECT_TRUE(pictures);

    loader.core().settings.deviceOverride = "/nonexistent/vok-tty";
    loader.driver.messages.clear();
    shown.assign(1, {});
    loader.frame->commandModuleStatus();
    EXPECT_TRUE(shown.empty());
    ASSERT_EQ(loader.driver.messages.size(), 1);
    EXPECT_TRUE(loader.driver.messages[0].startsWith(loader.core().text(100))) << loader.driver.messages[0].toStdString();
}

// Finding a parameter, reading a choice, typing into a cell, taking an edit back, and the
// page on the clipboard.
TEST(Loader, FindTypeUndoAndCopy)
{
    vok::sim::LineConfig c;
    c.stations = {{1, kCodeA}, {2, kCodeA}};
    LoaderOnSim loader(c);
    ASSERT_TRUE(loader.ready());
    LoaderCore& core = loader.core();
    CVokView* view = loader.frame->parameterView();
    CSearchBox* search = loader.frame->searchBox();
    auto* status = loader.frame->findChild<QStatusBar*>();

    search->field()->setText("proportional band");
    ASSERT_FALSE(search->hits().empty());
    EXPECT_TRUE(search->results()->isVisible());
    const tree::SearchHit hit = search->hits()[0];
    search->choose(0);
    EXPECT_EQ(view->rowName(view->currentRow()), hit.name);
    EXPECT_EQ(view->currentColumn(), 0);

    // The page as tab-separated text.
    loader.frame->commandCopyPage();
    const QStringList lines = QApplication::clipboard()->text().split('\n');
    ASSERT_GT(lines.size(), 2);
    EXPECT_EQ(lines[0], view->title() + "\t1 - ch1\t1 - ch2\t1 - ch3\t1 - ch4\t2 - ch1\t2 - ch2\t2 - ch3\t2 - ch4");
    EXPECT_TRUE(lines.contains("Proportional band\t5.0\t5.0\t5.0\t5.0\t5.0\t5.0\t5.0\t5.0")) << lines.join(" | ").toStdString();

    // Typing a digit on the value opens its input with that digit; the value is taken back.
    bool typed = false;
    loader.next = [&](QWidget* w) {
        if (auto* input = qobject_cast<CInputDataDlg*>(w)) {
            // The digit stays and is not selected: the next key typed goes after it.
            typed = input->field()->text() == "7" && !input->field()->hasSelectedText();
            input->field()->setText("7.5");
            input->accept();
            return true;
        }
        return false;
    };
    QTest::keyClick(view, Qt::Key_7);
    ASSERT_TRUE(typed);
    const int row = view->currentRow();
    EXPECT_EQ(view->cellText(row, 0), "7.5");
    EXPECT_TRUE(view->cellEdited(row, 0));
    loader.frame->commandUndo();
    EXPECT_EQ(view->cellText(row, 0), "5.0");
    EXPECT_FALSE(view->cellEdited(row, 0));
    loader.frame->commandRedo();
    EXPECT_EQ(view->cellText(row, 0), "7.5");
    EXPECT_FALSE(core.undo.canRedo());

    // A choice cell keeps its code and says its whole text.
    search->field()->setText("Input type");
    ASSERT_FALSE(search->hits().empty());
    search->choose(0);
    const int choiceRow = view->currentRow();
    EXPECT_EQ(view->cellText(choiceRow, 0), "0");
    EXPECT_TRUE(view->choiceText(choiceRow, 0).contains("K thermocouple")) << view->choiceText(choiceRow, 0).toStdString();
    EXPECT_TRUE(status->currentMessage().contains("K thermocouple")) << status->currentMessage().toStdString();
}

// While a transfer runs nothing changes the store: the inputs, Utility, Undo / Redo, Open,
// Save, the parameter list and the module status are off, and a command that reaches them
// anyway is refused; all come back when the transfer ends.
TEST(Loader, NothingChangesTheStoreWhileATransferRuns)
{
    vok::sim::LineConfig c;
    for (int st = 1; st <= 8; ++st)
        c.stations[st] = kCodeA;
    LoaderOnSim loader(c);
    ASSERT_TRUE(loader.ready());
    LoaderCore& core = loader.core();
    core.undo.begin({0});
    core.store.setStoredValue(1, 41100, 1234);
    core.undo.commit("a test step");
    loader.next = answerUpload(core.text(118, "Save?"));
    auto action = [&](const char* name) { return loader.frame->findChild<QAction*>(QString::fromLatin1(name)); };
    const char* gated[] = {"Undo", "Redo", "Utility", "ParametersList", "ModuleStatus", "Open (File->PC)", "Save (PC->File)"};
    loader.frame->commandUpload();
    ASSERT_TRUE(core.workers->transferRunning());
    waitFor([] { return false; }, 300);
    ASSERT_TRUE(core.workers->transferRunning()) << "the upload must outlast the checks";
    for (const char* name : gated) {
        ASSERT_TRUE(action(name)) << name;
        EXPECT_FALSE(action(name)->isEnabled()) << name;
    }
    EXPECT_FALSE(loader.frame->parameterView()->isEnabled()) << "no value or code input";
    loader.frame->commandUndo();
    EXPECT_TRUE(core.undo.canUndo()) << "refused, not taken";
    auto* status = loader.frame->findChild<QStatusBar*>();
    EXPECT_TRUE(status->currentMessage().startsWith("Not now")) << status->currentMessage().toStdString();
    vok::ParameterDefinition sv;
    core.tables->findDefinition(vok::ListType::Function, "SV", sv);
    EXPECT_FALSE(openInput(core, 0, sv, 0, edit::Mode::View, loader.frame.get()));
    ASSERT_TRUE(waitFor([&] { return !core.workers->transferRunning(); }, 60000));
    waitFor([] { return false; }, 400);
    for (const char* name : {"Utility", "ParametersList", "ModuleStatus", "Open (File->PC)", "Save (PC->File)"})
        EXPECT_TRUE(action(name)->isEnabled()) << name << " comes back";
    EXPECT_TRUE(loader.frame->parameterView()->isEnabled());
    EXPECT_TRUE(std::any_of(loader.driver.messages.begin(), loader.driver.messages.end(),
                            [](const QString& m) { return m.startsWith("Not now: a transfer is running"); }));
}

// Stopping the logging never waits on a message the logging thread has for the window: it
// is posted, not awaited, whichever way the logging is stopped.
TEST(Loader, StoppingMeetsAPendingMessageWithinASecond)
{
    vok::sim::LineConfig c;
    c.stations = {{1, kCodeA}};
    for (const std::string path : {"Stop", "Escape", "closing the dialog", "exit"}) {
        LoaderOnSim loader(c);
        ASSERT_TRUE(loader.ready());
        LoaderCore& core = loader.core();
        // The port will not open: the logging thread says text 100 ...
        core.settings.deviceOverride = "/nonexistent/vok-tty";
        loader.frame->commandTrendDef();
        auto* dialog = loader.frame->findChild<CTrendDefDlg*>();
        ASSERT_TRUE(dialog);
        dialog->startLogging();
        if (path == "exit")
            core.workers->startTransferWorker(vok::TransferType::Upload);
        // ... while the GUI thread serves no events.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto t0 = std::chrono::steady_clock::now();
        if (path == "Stop") {
            dialog->stopLogging();
        } else if (path == "Escape") {
            loader.frame->treeExplorer()->onEscape();
            core.trendLogger->stop();
        } else if (path == "closing the dialog") {
            dialog->close();
        } else {
            core.quitWithoutAsking = true;
            loader.frame->close();
        }
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1)) << path;
        EXPECT_FALSE(core.trendLogger && core.trendLogger->running()) << path;
        waitFor([] { return false; }, 200);
    }
}

// The Communication window's Stop works while the detail screen is open: the window belongs
// to the detail screen, which blocks every other window.
TEST(Loader, CommunicationStopWorksOverTheDetailScreen)
{
    vok::sim::LineConfig c;
    c.stations = {{1, kCodeA}};
    LoaderOnSim loader(c);
    ASSERT_TRUE(loader.ready());
    LoaderCore& core = loader.core();
    bool stopped = false, child = false;
    loader.next = [&](QWidget* w) {
        auto* detail = qobject_cast<CDetailDlg*>(w);
        if (!detail)
            return false;
        if (!loader.frame->findChild<CCommWindow*>()) {
            core.editor->openCommunication(1, 0, -1); // the station read back
            QPointer<CCommWindow> comm = loader.frame->findChild<CCommWindow*>();
            if (!comm)
                return false;
            child = comm->parentWidget() == detail;
            QTest::mouseClick(comm->findChild<QPushButton*>("stop"), Qt::LeftButton);
            stopped = waitFor([&] { return !comm || !comm->isVisible(); }, 3000);
        }
        detail->reject();
        return true;
    };
    ASSERT_GT(loader.frame->parameterView()->rowCount(), 0);
    loader.frame->openCell(0, 0, true);
    EXPECT_TRUE(child);
    EXPECT_TRUE(stopped);
}
