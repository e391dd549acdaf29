// The loader's main window at work against the simulated line: the meter, a language change,
// and a GUI-thread write that meets a worker's report.

#include "comsetdlg.h"
#include "guireporter.h"
#include "loaderfixture.h"
#include "meterbar.h"
#include "vokview.h"

#include <QComboBox>
#include <QProgressBar>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using vok::test::LoaderOnSim;
using vok::test::waitFor;

namespace {

const char* kCodeA = "VOKA112N01000";
const char* kCodeE = "VOKE100N01000";

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
    loader.next = [](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w)) { // text 118: no save first
            box->button(QMessageBox::Cancel)->click();
            return true;
        }
        if (auto* d = qobject_cast<QDialog*>(w)) { // the transfer selection as preset
            d->accept();
            return true;
        }
        return false;
    };
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
