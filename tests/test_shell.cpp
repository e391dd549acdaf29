// The loader's dialogs and its main window, on the offscreen platform.

#include "commwindow.h"
#include "comsetdlg.h"
#include "exitdialog.h"
#include "initdialogs.h"
#include "loadercore.h"
#include "mainframe.h"
#include "meterbar.h"
#include "pilc.h"
#include "simfixture.h"
#include "stationsetup.h"
#include "testutil.h"
#include "transferselect.h"
#include "uitext.h"
#include "workers.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <chrono>
#include <gtest/gtest.h>

namespace {

vok::TextTable sampleTexts()
{
    vok::TextTable t;
    t.load(vok::test::kSampleLanguage, "");
    return t;
}

// Runs the event loop until `done` or the time is up.
bool waitFor(const std::function<bool()>& done, int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done() && std::chrono::steady_clock::now() < end)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

} // namespace

TEST(Pilc, ListsByModelLetterAndStationRange)
{
    const vok::TextTable texts = sampleTexts();
    // Station 20 with a code of model letter B opens reset: only the event module letter.
    CPilcSetSubDlg event(texts, 19, "VOKB200N01R00");
    EXPECT_EQ(event.list(4)->count(), 1);
    EXPECT_TRUE(event.list(4)->itemText(0).startsWith("E:"));
    EXPECT_FALSE(event.list(5)->isEnabled());
    EXPECT_TRUE(event.codeField().isEmpty());
    // Station 3 with a code of letter E opens reset with the five control letters.
    CPilcSetSubDlg control(texts, 2, "VOKE100N01000");
    EXPECT_EQ(control.list(4)->count(), 5);
    // A fitting code selects its entries.
    CPilcSetSubDlg filled(texts, 2, "VOKB200N01R00");
    EXPECT_EQ(filled.codeField(), "VOKB200N01R00");
    EXPECT_TRUE(filled.list(11)->currentText().startsWith("R:"));
    EXPECT_EQ(filled.list(6)->count(), 4);

    EXPECT_EQ(pilc::listIds('C', 5).size(), 4u);
    EXPECT_EQ(pilc::listIds('X', 5).size(), 0u);
    EXPECT_FALSE(pilc::fits("VO", 0));
}

TEST(Pilc, ConfirmComposesAndRegisterAfterClearIsEmpty)
{
    const vok::TextTable texts = sampleTexts();
    CPilcSetSubDlg d(texts, 0, "");
    d.chooseModel(0); // A: four-loop controller
    d.confirm();
    EXPECT_EQ(d.codeField(), "VOKA100N01000");
    d.registerCode();
    EXPECT_EQ(d.result(), "VOKA100N01000");

    CPilcSetSubDlg cleared(texts, 0, "VOKA112N01000");
    cleared.clear();
    cleared.registerCode();
    EXPECT_EQ(cleared.result(), "");
}

TEST(StationSetup, CopySourceAndStore)
{
    const vok::TextTable texts = sampleTexts();
    vok::DataStore store;
    store.stationPresent.fill(1);
    CStSet setup(texts, store);
    std::vector<std::string> initials;
    setup.editCode = [&](int index, const std::string& initial, std::string& code) {
        initials.push_back(initial);
        code = index < 16 ? "VOKA112N01000" : "VOKE100N01000";
        return true;
    };
    setup.create(0);
    setup.create(4);  // copy source: station 1, checked at opening
    setup.create(19); // no source checked in the second group
    EXPECT_EQ(initials, (std::vector<std::string>{"", "VOKA112N01000", ""}));
    setup.setCopySource(19);
    EXPECT_EQ(setup.copySource(3), -1) << "one set of buttons across both groups";
    setup.create(20);
    EXPECT_EQ(initials.back(), "VOKE100N01000");
    setup.accept();
    EXPECT_EQ(store.stationPresent[0], 1);
    EXPECT_EQ(store.stationPresent[1], 0) << "every opening starts with no codes";
    EXPECT_EQ(store.stationPresent[19], 1);
    EXPECT_EQ(store.record(4).identification[3], 'A');
    EXPECT_EQ(store.modelClass(19), vok::kClassE);
}

TEST(Settings, DialogWritesAllEightKeys)
{
    vok::test::TempDir dir;
    vok::NullReporter reporter;
    LoaderCore core(reporter);
    core.profile = vok::Profile(dir.file("p.ini"));
    core.settings.workingDir = VOK_SOURCE_DIR "/sample";
    CComSetDlg d(core);
    EXPECT_EQ(d.language()->count(), 2) << "English and Japanese";
    EXPECT_FALSE(d.findChild<QComboBox*>("online")->isEnabled()) << "only after an online start";
    d.baud()->setCurrentIndex(6);
    // A port of the machine chosen for COM3 (the list itself depends on the machine).
    d.devices()->clear();
    d.devices()->addItem("/dev/ttyUSB7   adapter", QString("/dev/ttyUSB7"));
    d.port()->setCurrentIndex(2);
    d.useDevice();
    d.accept();
    const std::string text = vok::test::readFile(dir.file("p.ini"));
    for (const char* key : {"Com_no=3", "COM3=/dev/ttyUSB7", "Bps=6", "Party=0", "Byte=1", "Stop=0", "Cmd_mode=0", "Language=0", "Debug_mode=0"})
        EXPECT_NE(text.find(key), std::string::npos) << key;
    EXPECT_EQ(core.settings.languageFolder, "language1");
}

TEST(StartupMode, FailedChoiceKeepsTheDialogOpen)
{
    const vok::TextTable texts = sampleTexts();
    CINIT_ModeDlg d(texts, 0);
    int fileTries = 0;
    d.onFromFile = [&] { return ++fileTries > 1; }; // the file dialog cancelled once
    d.open();
    d.accept();
    EXPECT_TRUE(d.isVisible());
    EXPECT_NE(d.result(), QDialog::Accepted);
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);

    CINIT_ModeDlg family1(texts, 1);
    EXPECT_FALSE(family1.findChild<QCheckBox*>("connection")->isVisibleTo(&family1));
    bool specified = true;
    family1.onReception = [&](bool s) {
        specified = s;
        return true;
    };
    family1.setMode(CINIT_ModeDlg::Reception);
    family1.setConnectionSpecified(true);
    family1.accept();
    EXPECT_FALSE(specified) << "families 1 and 2 have no connection choice";
}

TEST(Shell, ExitDialogAndMeterBar)
{
    const vok::TextTable texts = sampleTexts();
    for (auto [name, answer] : {std::pair{"yes", CSyuuryouDlg::Yes}, {"no", CSyuuryouDlg::No}, {"cancel", CSyuuryouDlg::Cancel}}) {
        CSyuuryouDlg d(texts);
        d.findChild<QPushButton*>(name)->click();
        EXPECT_EQ(d.answer(), answer) << name;
    }
    CMeterBar bar;
    bar.resize(400, 20);
    bar.start(200);
    for (int i = 0; i < 5; ++i)
        bar.advance(20);
    EXPECT_EQ(bar.percent(), 50);
    bar.start(0);
    bar.advance(20);
    EXPECT_EQ(bar.percent(), 0);

    std::array<std::int32_t, 32> preset{};
    preset[2] = 1;
    CCStSetDlg2 select(texts, preset);
    vok::DataStore store;
    store.stationPresent[2] = 1;
    for (int i = 0; i < 13; ++i)
        store.record(2).identification[i] = static_cast<unsigned char>("VOKA112N01000"[i]);
    select.showCodes(store);
    EXPECT_EQ(select.code(2), "VOKA112N01000");
    EXPECT_EQ(select.code(3), "");
    EXPECT_TRUE(select.box(2)->isChecked());
    select.box(17)->setChecked(true);
    EXPECT_EQ(select.selection()[17], 1);
    EXPECT_EQ(select.selection()[0], 0);
}

// The main window started as a person would: the family dialog, module data reception,
// and the line found and uploaded from the simulator.
TEST(Shell, OnlineStartFindsTheLine)
{
    vok::sim::LineConfig c;
    c.stations = {{1, "VOKA112N01000"}, {17, "VOKE100N01000"}};
    vok::test::SimulatedLine line(c);
    ASSERT_TRUE(line.started()) << line.error();
    vok::test::TempDir dir;
    std::filesystem::copy(VOK_SOURCE_DIR "/sample/file", dir.file("file"), std::filesystem::copy_options::recursive);
    dir.write("p.ini", "[VOK_Support]\nBps=6\n[Ports]\nCOM1=" + line.path() + "\n");
    qputenv("VOK_PROFILE", dir.file("p.ini").c_str());
    const auto oldCwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());

    // Answers the start-up dialogs as they come up.
    QTimer driver;
    int step = 0;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (auto* select = qobject_cast<CINIT_SelectDlg*>(dialog)) {
            select->accept();
            ++step;
        } else if (auto* mode = qobject_cast<CINIT_ModeDlg*>(dialog)) {
            mode->setMode(CINIT_ModeDlg::Reception);
            mode->accept();
            ++step;
        }
    });
    driver.start(50);
    {
        CMainFrame frame;
        frame.show();
        ASSERT_TRUE(waitFor([&] { return frame.ready(); }, 10000));
        ASSERT_TRUE(waitFor([&] { return !frame.core().workers->transferRunning(); }, 30000));
        driver.stop();
        EXPECT_EQ(step, 2);
        const vok::DataStore& store = frame.core().store;
        EXPECT_EQ(store.stationPresent[0], 1);
        EXPECT_EQ(store.stationPresent[1], 0) << "the coupling unit does not report station 2";
        EXPECT_EQ(store.stationPresent[16], 1);
        EXPECT_EQ(store.record(16).identification[3], 'E');
        waitFor([] { return false; }, 1200);
        EXPECT_EQ(frame.statusText(), "Offline:");
        frame.core().quitWithoutAsking = true;
        frame.close();
    }
    std::filesystem::current_path(oldCwd);
}

namespace {

// Station 1 online, its command register 1 just written and its follow-up started; the
// module resets the command after `resetMs`.
struct FollowedCommand {
    static vok::sim::LineConfig lineWith(int resetMs)
    {
        vok::sim::LineConfig c;
        c.stations = {{1, "VOKA112N01000"}};
        c.commandResetMs = resetMs;
        return c;
    }
    explicit FollowedCommand(int resetMs)
        : line(lineWith(resetMs)), texts(sampleTexts()), tables(vok::test::kSampleLanguage),
          ctx(*line.master, store, tables, reporter), workers(ctx)
    {
        tables.loadSpecialRegisters(texts);
        tables.buildRegisterMaps();
        store.stationPresent[0] = 1;
        if (!line.started())
            return;
        line.settings.online = 1;
        const int at = tables.specials().reg(vok::SpecialRole::Command1, 0);
        written = line.write(1, at, 1) == vok::kCommOk;
        line.link->close();
        line.sim().setRegister(1, 41100, 4242);
        row = workers.startCommandMonitor(1, 0, at, true);
        window = new CCommWindow(texts, workers, ctx, 1, 0, row, uiText(texts, 123));
        window->show();
    }
    ~FollowedCommand() { delete window.data(); } // still open when a check failed
    std::uint16_t stored41100() const
    {
        std::uint16_t v = 0;
        store.getStoredValue(1, 41100, v);
        return v;
    }
    vok::test::SimulatedLine line;
    vok::TextTable texts;
    vok::DefinitionTables tables;
    vok::DataStore store;
    vok::NullReporter reporter;
    vok::TransferContext ctx;
    vok::Workers workers;
    bool written = false;
    int row = -1;
    QPointer<CCommWindow> window;
};

} // namespace

// The "Communication" window follows a command until the module sets it back to 0, reads
// the station again and closes.
TEST(Shell, CommunicationWindowPhases)
{
    FollowedCommand f(300);
    ASSERT_TRUE(f.written) << f.line.error();
    ASSERT_EQ(f.row, 0);
    EXPECT_EQ(f.window->phase(), 1);
    EXPECT_TRUE(f.window->statusText().endsWith("(1-ch1)"));
    EXPECT_TRUE(waitFor([&] { return f.window && f.window->phase() == 2; }, 5000));
    EXPECT_TRUE(waitFor([&] { return f.window.isNull() || !f.window->isVisible(); }, 20000));
    EXPECT_EQ(f.stored41100(), 4242) << "the station was read again";
}

// Stop while the command is followed: the polling ends before its next read, and the
// station is not read again.
TEST(Shell, CommunicationWindowStopEndsWithoutReread)
{
    FollowedCommand f(60000);
    ASSERT_TRUE(f.written) << f.line.error();
    waitFor([] { return false; }, 400);
    ASSERT_TRUE(f.workers.monitorRunning(1, 0, f.row));
    f.window->findChild<QPushButton*>("stop")->click();
    EXPECT_TRUE(waitFor([&] { return !f.workers.monitorRunning(1, 0, f.row); }, 1000)) << "polling ends at once";
    EXPECT_TRUE(f.window.isNull() || !f.window->isVisible());
    EXPECT_FALSE(f.workers.rereadRunning(1));
    waitFor([] { return false; }, 300);
    EXPECT_EQ(f.stored41100(), 0) << "no re-read after Stop";
}
