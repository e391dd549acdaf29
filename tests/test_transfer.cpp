// Upload, download, the connection check and the command monitor against the simulated line.

#include "dependent.h"
#include "fileutil.h"
#include "journal.h"
#include "modulestatus.h"
#include "simfixture.h"
#include "storeutil.h"
#include "testutil.h"
#include "transfer.h"
#include "workers.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <set>

using namespace vok;
using vok::test::SimulatedLine;

namespace {

const char* kCodeA = "VOKA112N01000";
const char* kCodeE = "VOKE100N01000";

class RecordingReporter : public Reporter {
public:
    void message(int id, const std::string& suffix) override
    {
        std::lock_guard lock(m_mutex);
        messages.push_back(std::to_string(id) + suffix);
    }
    void notice(const std::string& text) override
    {
        std::lock_guard lock(m_mutex);
        m_notices.push_back(text);
    }
    std::vector<std::string> notices()
    {
        std::lock_guard lock(m_mutex);
        return m_notices;
    }
    void progressAdvance(int amount) override { progress += amount; }
    std::vector<std::string> taken()
    {
        std::lock_guard lock(m_mutex);
        return messages;
    }
    std::vector<std::string> messages;
    std::atomic<long> progress{0};

private:
    std::mutex m_mutex;
    std::vector<std::string> m_notices;
};

class TransferLine : public ::testing::Test {
protected:
    void SetUp() override { makeLine(SimulatedLine::fastTiming()); }
    void makeLine(sim::LineTiming timing)
    {
        sim::LineConfig c;
        c.stations = {{1, kCodeA}, {2, kCodeA}, {3, kCodeA}, {17, kCodeE}};
        c.commandResetMs = 200;
        line = std::make_unique<SimulatedLine>(c, timing);
        ASSERT_TRUE(line->started()) << line->error();
        line->settings.workingDir = work.path();
        texts.load(vok::test::kSampleLanguage, "");
        tables.loadSpecialRegisters(texts);
        tables.buildRegisterMaps();
        ctx = std::make_unique<TransferContext>(*line->master, store, tables, reporter);
        ctx->nodeSlotsInUse = 100;
        transfers = std::make_unique<Transfers>(*ctx);
    }
    // Stations defined as the simulator has them, all selected.
    void defineStations(std::initializer_list<std::pair<int, const char*>> stations)
    {
        for (auto [station, code] : stations)
            vok::test::defineStation(store, station, code);
        store.selectPresentStations();
    }
    std::uint16_t simValue(int station, int reg) { return line->sim().registerValue(station, reg).value_or(0xDEAD); }
    std::uint16_t stored(int station, int reg)
    {
        std::uint16_t v = 0;
        store.getStoredValue(station, reg, v);
        return v;
    }
    int run(TransferType type)
    {
        line->open();
        int rc = transfers->runTransferSequence(type);
        line->link->close();
        return rc;
    }

    vok::test::TempDir work;
    std::unique_ptr<SimulatedLine> line;
    TextTable texts;
    DefinitionTables tables{vok::test::kSampleLanguage};
    DataStore store;
    RecordingReporter reporter;
    std::unique_ptr<TransferContext> ctx;
    std::unique_ptr<Transfers> transfers;
};

} // namespace

TEST_F(TransferLine, UploadEqualsTheModulesForEveryMappedRegister)
{
    defineStations({{1, kCodeA}, {2, kCodeA}, {17, kCodeE}});
    line->sim().setRegister(2, 41100, 4321);
    ASSERT_EQ(run(TransferType::Upload), kCommOk);
    EXPECT_TRUE(reporter.taken().empty());
    int compared = 0;
    for (int station : {1, 2, 17}) {
        const int kind = station <= 16 ? 0 : 1;
        for (int i = 0; i < 10000; ++i) {
            if (!tables.maps().holdingKind[kind][i])
                continue;
            ASSERT_EQ(store.commError(station - 1, 40000 + i), 0) << station << " " << 40000 + i;
            ASSERT_EQ(stored(station, 40000 + i), simValue(station, 40000 + i)) << station << " " << 40000 + i;
            ++compared;
        }
    }
    EXPECT_GT(compared, 2000);
    EXPECT_EQ(stored(2, 41100), 4321);
    EXPECT_GT(reporter.progress, compared);
}

TEST_F(TransferLine, DownloadSkipsExcludedRegistersAndRoundTrips)
{
    defineStations({{1, kCodeA}, {2, kCodeA}, {3, kCodeA}, {17, kCodeE}});
    ASSERT_EQ(run(TransferType::Upload), kCommOk);
    // An exclusion entry holds back its two registers from a condition value of 47 on, the
    // value taken unsigned.
    const ExclusionEntry e = tables.exclusions()[0];
    ASSERT_NE(e.condition, 0);
    struct Case {
        int station;
        std::uint16_t condition;
        bool excluded;
    };
    const Case cases[] = {{1, 47, true}, {2, 46, false}, {3, 65535, true}};
    for (const Case& c : cases) {
        line->sim().setRegister(c.station, e.first, 11);
        line->sim().setRegister(c.station, e.second, 12);
        store.setStoredValue(c.station, e.condition, c.condition);
        store.setStoredValue(c.station, e.first, 21);
        store.setStoredValue(c.station, e.second, 22);
    }
    store.setStoredValue(1, 41100, 777);
    store.setStoredValue(1, 44200, 888);
    store.setStoredValue(17, 40005, 5);
    ASSERT_EQ(run(TransferType::Download), kCommOk);
    for (const Case& c : cases) {
        EXPECT_EQ(simValue(c.station, e.first), c.excluded ? 11 : 21) << c.condition;
        EXPECT_EQ(simValue(c.station, e.second), c.excluded ? 12 : 22) << c.condition;
        EXPECT_EQ(store.commError(c.station - 1, e.first), 0) << "an excluded register counts as succeeded";
    }
    EXPECT_EQ(simValue(1, 41100), 777);
    EXPECT_EQ(simValue(1, 44200), 888);
    EXPECT_EQ(simValue(17, 40005), 5);

    // What was downloaded comes back unchanged (but for the two registers station 1 kept).
    store.setStoredValue(1, e.first, 11);
    store.setStoredValue(1, e.second, 12);
    std::vector<std::uint16_t> before[2];
    for (int k = 0; k < 2; ++k)
        before[k].assign(store.record(k == 0 ? 0 : 16).values + 10000, store.record(k == 0 ? 0 : 16).values + 20000);
    ASSERT_EQ(run(TransferType::Upload), kCommOk);
    for (int k = 0; k < 2; ++k) {
        for (int i = 0; i < 10000; ++i) {
            if (tables.maps().holdingKind[k][i]) {
                ASSERT_EQ(stored(k == 0 ? 1 : 17, 40000 + i), before[k][i]) << 40000 + i;
            }
        }
    }
}

TEST_F(TransferLine, PreDownloadRegistersGoFirstOneByOne)
{
    defineStations({{1, kCodeA}, {2, kCodeA}});
    ASSERT_EQ(run(TransferType::Upload), kCommOk);
    line->sim().clearWrites();
    std::vector<std::pair<int, int>> expected; // (station, register) in the list's order
    for (int station : {1, 2}) {
        for (std::uint16_t reg : tables.preDownload()) {
            if (reg)
                expected.emplace_back(station, reg);
        }
    }
    ASSERT_FALSE(expected.empty());
    // The blocks that follow are not needed here: stop once the first one is written.
    line->settings.online = 0;
    Workers workers(*ctx);
    workers.startTransferWorker(TransferType::Download);
    const auto t0 = std::chrono::steady_clock::now();
    while (line->sim().writes().size() <= expected.size() && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(20))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    workers.requestStop();
    workers.waitTransfer();
    const auto writes = line->sim().writes();
    ASSERT_GT(writes.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(writes[i].function, 6) << i;
        EXPECT_EQ(writes[i].address, expected[i].first) << i;
        EXPECT_EQ(writes[i].first, expected[i].second) << i;
    }
    EXPECT_EQ(writes[expected.size()].function, 16) << "then the blocks";
}

TEST_F(TransferLine, OnlineStartZeroesTheCodeOfAStationThatDoesNotAnswer)
{
    defineStations({{1, kCodeA}, {17, kCodeE}});
    line->sim().setFault(17, "silent", "", true, nullptr);
    run(TransferType::OnlineStart);
    EXPECT_EQ(reporter.taken(), std::vector<std::string>{"114(ST=17)"});
    EXPECT_FALSE(store.stationSelected[16]);
    for (std::uint16_t w : store.record(16).identification)
        EXPECT_EQ(w, 0);
    EXPECT_EQ(store.record(0).identification[3], 'A');
}

TEST_F(TransferLine, OtherModuleCodeAndSilentStationAreLeftOut)
{
    defineStations({{1, kCodeA}, {2, "VOKB200N01R00"}, {17, kCodeE}});
    line->sim().setFault(17, "silent", "", true, nullptr);
    EXPECT_EQ(run(TransferType::Upload), kCommOk) << "the last identification read was station 1's";
    EXPECT_EQ(reporter.taken(), (std::vector<std::string>{"111(ST=2)", "114(ST=17)"}));
    EXPECT_FALSE(store.stationSelected[1]);
    EXPECT_FALSE(store.stationSelected[16]);
    EXPECT_TRUE(store.stationSelected[0]);
    EXPECT_EQ(store.commError(0, 41001), 0);
    EXPECT_EQ(store.commError(1, 41001), 1) << "not transferred, so not shown as good";
    EXPECT_EQ(store.commError(16, 40001), 1);
}

TEST_F(TransferLine, ConnectionCheckFollowsTheBitMap)
{
    // The coupling unit reports stations 1 and 3 (0x0005, 0x0000).
    line->sim().setPresent(2, "");
    line->sim().setPresent(17, "");
    line->sim().setPresent(3, kCodeA);
    for (int s : {1, 2, 3, 17, 18})
        store.stationPresent[s - 1] = 1;
    line->open();
    ASSERT_EQ(transfers->scanStations(), kCommOk);
    EXPECT_EQ(store.stationPresent[0], 1);
    EXPECT_EQ(store.stationPresent[1], 0);
    EXPECT_EQ(store.stationPresent[2], 1);
    EXPECT_EQ(store.stationPresent[16], 0);
    EXPECT_EQ(store.stationSelected, store.stationPresent);
    EXPECT_EQ(simValue(63, tables.specials().reg(SpecialRole::ConnectionCheck, 0)), 0) << "R is written back";

    // Station 17 follows bit 0 of the second word; register X adds a station present before.
    line->sim().setPresent(17, kCodeE);
    line->sim().setExtraStation(2);
    store.stationPresent[1] = store.stationPresent[16] = 1;
    ASSERT_EQ(transfers->scanStations(), kCommOk);
    EXPECT_EQ(store.stationPresent[16], 1);
    EXPECT_EQ(store.stationPresent[1], 1);
    line->link->close();
}

// R is written only when it does not hold the magic value yet, and is always restored; a
// failed read of P or X leaves presence as it was.
TEST_F(TransferLine, ConnectionCheckRestoresRAndKeepsPresenceOnFailure)
{
    const int r = tables.specials().reg(SpecialRole::ConnectionCheck, 0);
    const int p = tables.specials().reg(SpecialRole::Presence, 0);
    const int x = tables.specials().reg(SpecialRole::Extra, 0);
    struct Case {
        std::uint16_t rBefore;
        int unreadable; // 0: every read succeeds
        int result;
        std::size_t writes;
    };
    const Case cases[] = {
        {kConnectionCheckValue, 0, kCommOk, 0},
        {7, 0, kCommOk, 2},
        {7, p, exceptionResult(2), 2},
        {7, x, exceptionResult(2), 2},
        {kConnectionCheckValue, p, exceptionResult(2), 0},
    };
    for (const Case& c : cases) {
        line->sim().clearFaults(63);
        line->sim().setRegister(63, r, c.rBefore);
        if (c.unreadable)
            line->sim().setFault(63, "unreadable", std::to_string(c.unreadable), true, nullptr);
        store.stationPresent.fill(1);
        store.stationSelected.fill(0);
        line->sim().clearWrites();
        line->open();
        EXPECT_EQ(transfers->scanStations(), c.result) << c.rBefore << " " << c.unreadable;
        line->link->close();
        const auto writes = line->sim().writes();
        EXPECT_EQ(writes.size(), c.writes) << c.rBefore << " " << c.unreadable;
        EXPECT_EQ(simValue(63, r), c.rBefore) << "R holds its value again";
        const bool changed = store.stationPresent[3] == 0;
        EXPECT_EQ(changed, c.result == kCommOk) << "presence follows the bit map only after all reads";
    }
}

TEST_F(TransferLine, StopMidUploadEndsWithinASecondAndLeavesTheRestFailed)
{
    defineStations({{1, kCodeA}, {2, kCodeA}, {17, kCodeE}});
    line->settings.online = 0;
    Workers workers(*ctx);
    workers.startTransferWorker(TransferType::Upload);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    const auto t0 = std::chrono::steady_clock::now();
    workers.requestStop();
    workers.waitTransfer();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
    EXPECT_FALSE(line->link->linkHandle()) << "the port is closed again";
    int failed = 0;
    for (int i = 0; i < 10000; ++i)
        failed += tables.maps().holdingKind[0][i] && store.commError(1, 40000 + i);
    EXPECT_GT(failed, 1000) << "station 2 was not reached";
}

TEST_F(TransferLine, CommandMonitorWatchesUntilZeroThenRereads)
{
    defineStations({{1, kCodeA}});
    line->settings.online = 1;
    Workers workers(*ctx);
    const int at = tables.specials().reg(SpecialRole::Command1, 2);
    EXPECT_EQ(workers.startCommandMonitor(1, 2, 41100, true), -1) << "not a command register";
    EXPECT_EQ(workers.startCommandMonitor(1, 2, at, false), -1);
    ASSERT_EQ(line->write(1, at, 1), kCommOk);
    line->link->close();
    ASSERT_EQ(workers.startCommandMonitor(1, 6, at, true), 0) << "channel taken modulo 4";
    EXPECT_TRUE(workers.monitorRunning(1, 2, 0));
    const auto t0 = std::chrono::steady_clock::now();
    while (workers.monitorRunning(1, 2, 0) && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(3))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(workers.monitorRunning(1, 2, 0));

    line->sim().setRegister(1, 41100, 999);
    workers.startStationReread(1);
    while (workers.rereadRunning(1) && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(stored(1, 41100), 999);
    EXPECT_EQ(stored(1, at), 0);
}

// The communication families address station 1 as 128 on a plain line, but by its number
// inside the gateway frame; messages name the wire address.
TEST(TransferFamily1, Station1Is128OnThePlainLineAnd1BehindTheGateway)
{
    for (bool z : {false, true}) {
        sim::LineConfig c;
        c.family = 1;
        c.stations = {{1, "VOKC100N01000"}};
        SimulatedLine line(c, SimulatedLine::fastTiming(), z);
        ASSERT_TRUE(line.started()) << line.error();
        line.master->setModuleFamily(1);
        TextTable texts;
        texts.load(vok::test::kSampleLanguage, "");
        DefinitionTables tables(vok::test::kSampleLanguage, 1);
        tables.loadSpecialRegisters(texts);
        tables.buildRegisterMaps();
        EXPECT_NE(tables.exclusions()[0].condition, 0) << "the exclusion table serves every family";
        EXPECT_EQ(tables.preDownload()[0], 0) << "the pre-download list is the standard line's";
        DataStore store;
        RecordingReporter reporter;
        TransferContext ctx(*line.master, store, tables, reporter);
        Transfers transfers(ctx);
        store.stationPresent[0] = 1;
        const char* wrong = "VOKC100N01999";
        for (int i = 0; i < 13; ++i)
            store.record(0).identification[i] = static_cast<unsigned char>(wrong[i]);
        store.selectPresentStations();
        line.open();
        transfers.runTransferSequence(TransferType::Download);
        EXPECT_EQ(reporter.taken(), std::vector<std::string>{"111(ST=128)"}) << (z ? "gateway" : "plain");
        std::uint16_t words[13] = {};
        EXPECT_EQ(transfers.readIdentification(1, words), kCommOk) << (z ? "gateway" : "plain");
        EXPECT_EQ(words[3], 'C');
        line.link->close();
    }
}

// A station that falls silent mid-upload is left after a few blocks, its unread registers
// failed and the station incomplete; the others are read.
TEST_F(TransferLine, StationFallingSilentIsLeftAndMarkedIncomplete)
{
    defineStations({{1, kCodeA}, {2, kCodeA}, {3, kCodeA}});
    line->sim().setRegister(3, 41100, 4321);
    // The identification reads, then a few blocks of station 1, then station 2 goes quiet.
    std::thread fault = line->after(3 + 70 + 10, [&] { line->sim().setFault(2, "silent", "", true, nullptr); });
    const auto t0 = std::chrono::steady_clock::now();
    run(TransferType::Upload);
    fault.join();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
    EXPECT_FALSE(store.incomplete(0));
    EXPECT_TRUE(store.incomplete(1));
    EXPECT_FALSE(store.incomplete(2)) << "one silent station is not a dead line";
    EXPECT_EQ(stored(3, 41100), 4321);
    EXPECT_FALSE(ctx->lineDead);
    const auto notices = reporter.notices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("station 2"), std::string::npos) << notices[0];

    // A download leaves it out: none of its never-read values reaches the module.
    line->sim().clearFaults(2);
    line->sim().clearWrites();
    store.stationSelected = store.stationPresent;
    store.stationSelected[0] = store.stationSelected[2] = 0;
    run(TransferType::Download);
    EXPECT_TRUE(line->sim().writes().empty());
    EXPECT_NE(reporter.notices().back().find("Left out of the download: station 2"), std::string::npos)
        << reporter.notices().back();
}

// A line that goes silent after the identification, or whose other end hangs up, ends the
// transfer at once with one notice, everything not read marked failed.
TEST_F(TransferLine, DeadLineEndsTheTransferAtOnce)
{
    for (bool hangUp : {false, true}) {
        SetUp();
        defineStations({{1, kCodeA}, {2, kCodeA}, {3, kCodeA}, {17, kCodeE}});
        std::thread fault = line->after(4 + 20, [&] {
            if (hangUp)
                line->hangUp();
            else
                line->sim().setFault(0, "silent", "", true, nullptr);
        });
        const std::size_t before = reporter.notices().size();
        const auto t0 = std::chrono::steady_clock::now();
        run(TransferType::Upload);
        fault.join();
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5)) << (hangUp ? "hang-up" : "silence");
        EXPECT_TRUE(ctx->lineDead);
        for (int i : {0, 1, 2, 16}) {
            EXPECT_TRUE(store.incomplete(i)) << i;
            // The last register of the station was never reached.
            const auto& map = tables.maps().holdingKind[i < 16 ? 0 : 1];
            int last = 9999;
            while (last > 0 && !map[static_cast<std::size_t>(last)])
                --last;
            EXPECT_EQ(store.commError(i, 40000 + last), 1) << i;
        }
        const auto all = reporter.notices();
        const std::vector<std::string> notices(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
        ASSERT_FALSE(notices.empty());
        EXPECT_NE(notices.back().find("The line stopped answering"), std::string::npos);
        EXPECT_EQ(std::count_if(notices.begin(), notices.end(),
                                [](const std::string& n) { return n.find("stopped answering") != std::string::npos; }),
                  1)
            << "said once";
    }
}

TEST_F(TransferLine, BrokenLanguageFolderStartsNoTransfer)
{
    vok::test::TempDir dir;
    std::filesystem::copy(vok::test::kSampleLanguage, dir.path(), std::filesystem::copy_options::recursive);
    struct Case {
        const char* file;
        const char* content; // nullptr: removed
        TransferType type;
        const char* says;
    };
    const Case cases[] = {
        {"FunctionList.csv", nullptr, TransferType::Upload, "FunctionList.csv is missing"},
        {"FunctionList.csv", "Function,,\r\n", TransferType::Upload, "lists no parameter"},
        {"FunctionList.csv", "Function,,\r\nA,B,NOPE\r\n\x01\x02,\x03,\xff\xfe\r\n", TransferType::Upload, "keys are not in"},
        {"DownloadExclusion.csv", nullptr, TransferType::Download, "DownloadExclusion.csv is missing"},
    };
    for (const Case& c : cases) {
        vok::test::TempDir copy;
        std::filesystem::copy(vok::test::kSampleLanguage, copy.path(), std::filesystem::copy_options::recursive);
        if (c.content)
            copy.write(c.file, c.content);
        else
            std::filesystem::remove(copy.file(c.file));
        DefinitionTables broken(copy.path());
        broken.loadSpecialRegisters(texts);
        broken.buildRegisterMaps();
        RecordingReporter r;
        TransferContext bctx(*line->master, store, broken, r);
        Transfers t(bctx);
        defineStations({{1, kCodeA}});
        line->sim().clearWrites();
        line->open();
        EXPECT_EQ(t.runTransferSequence(c.type), -1) << c.file;
        line->link->close();
        ASSERT_EQ(r.notices().size(), 1u) << c.file;
        EXPECT_NE(r.notices()[0].find(c.says), std::string::npos) << r.notices()[0];
        EXPECT_TRUE(line->sim().writes().empty());
    }
}

TEST(DownloadJournal, KeepsWhatAKilledDownloadLeft)
{
    vok::test::TempDir dir;
    DownloadJournal j(dir.path());
    EXPECT_EQ(j.pendingWarning(), "");
    ASSERT_TRUE(j.begin({1, 2}, "/dev/ttyUSB0"));
    // Killed here: the next start finds it.
    EXPECT_EQ(DownloadJournal(dir.path()).pendingStations(), (std::vector<int>{1, 2}));
    const std::string w = DownloadJournal(dir.path()).pendingWarning();
    EXPECT_NE(w.find("stations 1,2 on /dev/ttyUSB0"), std::string::npos) << w;
    // A later download of station 2 leaves station 1 on record.
    ASSERT_TRUE(j.begin({2}, "/dev/ttyUSB0"));
    j.finish({2});
    EXPECT_EQ(j.pendingStations(), std::vector<int>{1});
    j.finish({1});
    EXPECT_FALSE(vok::fileExists(j.path()));
}

// Downloading the changes writes exactly the edited registers, the pre-download ones among
// them first, verifies them and clears their flags.
TEST_F(TransferLine, ChangesDownloadWritesExactlyTheEditsAndVerifies)
{
    defineStations({{1, kCodeA}, {2, kCodeA}, {17, kCodeE}});
    ASSERT_EQ(run(TransferType::Upload), kCommOk);
    // Ten edits on three stations; the SV high limits 41013 and 42013 are pre-download
    // registers (set so that no set value needs clamping by the module).
    const std::vector<std::pair<int, int>> edits = {{1, 41100}, {1, 41013}, {1, 41101}, {1, 44200}, {2, 42013},
                                                    {2, 41100}, {2, 43100}, {17, 40005}, {17, 40006}, {17, 40010}};
    std::uint16_t value = 7;
    for (auto [station, reg] : edits) {
        store.setStoredValue(station, reg, reg % 1000 == 13 ? 1400 : value++);
        store.markEdited(station - 1, reg);
    }
    store.stationSelected = store.stationPresent;
    ctx->verifyAfterDownload = true;
    line->sim().clearWrites();
    ASSERT_EQ(run(TransferType::DownloadChanges), kCommOk);
    const auto writes = line->sim().writes();
    std::set<std::pair<int, int>> written;
    for (const auto& w : writes)
        for (std::size_t k = 0; k < w.values.size(); ++k)
            written.insert({w.address, w.first + static_cast<int>(k)});
    const std::set<std::pair<int, int>> expected(edits.begin(), edits.end());
    EXPECT_EQ(written, expected);
    ASSERT_GE(writes.size(), 2u);
    EXPECT_EQ(writes[0].address, 1) << "pre-download first";
    EXPECT_EQ(writes[0].first, 41013);
    EXPECT_EQ(writes[1].address, 2);
    EXPECT_EQ(writes[1].first, 42013);
    for (auto [station, reg] : edits) {
        EXPECT_EQ(line->sim().registerValue(station, reg), stored(station, reg)) << station << " " << reg;
        EXPECT_FALSE(store.isEdited(station - 1, reg)) << "written and verified: no longer a change";
    }
    EXPECT_TRUE(ctx->verified);
    EXPECT_GE(ctx->confirmed, 10);
    EXPECT_TRUE(ctx->differences.empty());
    EXPECT_EQ(ctx->written, 10);
    // The record of the download.
    const std::string log = vok::test::readFile(downloadLogPath(line->settings.workingDir));
    EXPECT_NE(log.find(",changes,1 2 17,unsaved,10,confirmed "), std::string::npos) << log;
}

// A range downloaded as a change has the module recalculate the channel; the verify reads
// the channel back and finds the PC's own recalculation.
TEST_F(TransferLine, RangeChangeVerifiesWithTheModulesRecalculation)
{
    defineStations({{1, kCodeA}});
    const SpecialRegisters& sp = tables.specials();
    line->sim().setRegister(1, sp.reg(SpecialRole::InputType, 0), 21);
    line->sim().setRegister(1, sp.reg(SpecialRole::LimitedValue, 0), 500);
    ASSERT_EQ(run(TransferType::Upload), kCommOk);
    const int upper = sp.reg(SpecialRole::RangeUpper, 0);
    const std::uint16_t old = stored(1, upper);
    store.setStoredValue(1, upper, static_cast<std::uint16_t>(old * 2));
    store.markEdited(0, upper);
    applyDependentUpdate(store, sp, tables.maps(), 1, 0, upper, old, true);
    ASSERT_EQ(stored(1, sp.reg(SpecialRole::LimitedValue, 0)), 1000);
    ctx->verifyAfterDownload = true;
    ASSERT_EQ(run(TransferType::DownloadChanges), kCommOk);
    EXPECT_TRUE(ctx->differences.empty()) << ctx->differences.size() << " differences, first at "
                                          << (ctx->differences.empty() ? 0 : ctx->differences[0].reg);
    EXPECT_GT(ctx->confirmed, 100) << "the whole channel was read back";
    EXPECT_EQ(line->sim().registerValue(1, sp.reg(SpecialRole::LimitedValue, 0)), 1000);
}

// A module that keeps a value within limits of its own: the verify names that register,
// and it stays a pending change; a comparison finds it again without touching the store.
TEST_F(TransferLine, VerifyAndCompareFindWhatTheModuleHolds)
{
    defineStations({{1, kCodeA}});
    ASSERT_EQ(run(TransferType::Upload), kCommOk);
    line->sim().setFault(1, "clamp", "41100:500", true, nullptr);
    store.setStoredValue(1, 41100, 800);
    store.markEdited(0, 41100);
    ctx->verifyAfterDownload = true;
    run(TransferType::DownloadChanges);
    ASSERT_EQ(ctx->differences.size(), 1u);
    EXPECT_EQ(ctx->differences[0].reg, 41100);
    EXPECT_EQ(ctx->differences[0].pc, 800);
    EXPECT_EQ(ctx->differences[0].module, 500);
    EXPECT_TRUE(store.isEdited(0, 41100)) << "not confirmed, so still a change";
    EXPECT_EQ(store.commError(0, 41100), 0) << "the typed value stays for the next changes download";

    // Compare: exactly that cell, and the store stays as it is.
    store.clearCommErrors();
    const auto before = std::vector<std::uint16_t>(store.record(0).values, store.record(0).values + 20000);
    run(TransferType::Compare);
    ASSERT_EQ(ctx->differences.size(), 1u);
    EXPECT_EQ(ctx->differences[0].reg, 41100);
    EXPECT_EQ(ctx->differences[0].module, 500);
    EXPECT_EQ(std::vector<std::uint16_t>(store.record(0).values, store.record(0).values + 20000), before);
    EXPECT_EQ(store.commError(0, 41100), 0);
    EXPECT_FALSE(vok::fileExists(downloadLogPath(line->settings.workingDir)) &&
                 vok::test::readFile(downloadLogPath(line->settings.workingDir)).find(",compare,") != std::string::npos);
}

// A changes download that meets a station falling silent, refusing or answering with another
// address: that station's changes are counted as not written, said once, stay red and keep
// the journal; the other stations are written; a verify never calls it verified.
TEST_F(TransferLine, ChangesDownloadFaultsAreCountedAndSaid)
{
    struct Fault {
        const char* kind;
        const char* argument;
    };
    for (const Fault fault : {Fault{"silent", ""}, Fault{"exception", "2"}, Fault{"wrong-address", ""}}) {
        for (bool verify : {false, true}) {
            SetUp();
            const std::string name = std::string(fault.kind) + (verify ? " with verify" : "");
            defineStations({{1, kCodeA}, {2, kCodeA}, {3, kCodeA}});
            ASSERT_EQ(run(TransferType::Upload), kCommOk);
            const std::size_t noticesBefore = reporter.notices().size();
            for (int station : {1, 2, 3}) {
                for (int reg : {41100, 44200}) {
                    store.setStoredValue(station, reg, static_cast<std::uint16_t>(100 * station + reg % 7));
                    store.markEdited(station - 1, reg);
                }
            }
            ctx->verifyAfterDownload = verify;
            // Station 2 turns bad once the three identification reads are answered.
            std::thread bad = line->after(3, [&] { line->sim().setFault(2, fault.kind, fault.argument, true, nullptr); });
            run(TransferType::DownloadChanges);
            bad.join();
            EXPECT_EQ(ctx->notWritten, 2) << name;
            EXPECT_EQ(ctx->notWrittenStations, std::vector<int>{2}) << name;
            for (int reg : {41100, 44200}) {
                EXPECT_TRUE(store.isEdited(1, reg)) << name << ": still a change";
                EXPECT_EQ(store.commError(1, reg), 0) << name << ": the typed value stays for the next download";
                EXPECT_FALSE(store.isEdited(0, reg)) << name;
                EXPECT_EQ(simValue(3, reg), stored(3, reg)) << name;
            }
            EXPECT_EQ(ctx->notConfirmed, 0) << name << ": nothing of station 2 was written";
            const auto all = reporter.notices();
            const std::vector<std::string> said(all.begin() + static_cast<std::ptrdiff_t>(noticesBefore), all.end());
            ASSERT_EQ(said.size(), 1u) << name;
            EXPECT_NE(said[0].find("Not written: station 2 (2 registers)"), std::string::npos) << said[0];
            EXPECT_EQ(DownloadJournal(work.path()).pendingStations(), std::vector<int>{2}) << name;
            const std::string log = vok::test::readFile(downloadLogPath(work.path()));
            EXPECT_NE(log.find("not written 2"), std::string::npos) << log;
            // The fault gone, a second changes download finishes the job and clears the journal.
            line->sim().clearFaults(2);
            run(TransferType::DownloadChanges);
            EXPECT_EQ(ctx->notWritten, 0) << name;
            EXPECT_EQ(simValue(2, 41100), stored(2, 41100)) << name;
            EXPECT_TRUE(DownloadJournal(work.path()).pendingStations().empty()) << name;
        }
    }
}

// What was never read is never written: a failed register among the changes and a station
// marked incomplete are left out and named; the rest of the changes go.
TEST_F(TransferLine, ChangesDownloadLeavesOutWhatWasNeverRead)
{
    defineStations({{1, kCodeA}, {2, kCodeA}});
    ASSERT_EQ(run(TransferType::Upload), kCommOk);
    for (int station : {1, 2}) {
        for (int reg : {41100, 44200}) {
            store.setStoredValue(station, reg, 55);
            store.markEdited(station - 1, reg);
        }
    }
    store.setCommError(0, 41100, 1); // as a copy from a register never read leaves it
    store.setIncomplete(1, true);
    line->sim().clearWrites();
    run(TransferType::DownloadChanges);
    std::set<std::pair<int, int>> written;
    for (const auto& w : line->sim().writes())
        for (std::size_t k = 0; k < w.values.size(); ++k)
            written.insert({w.address, w.first + static_cast<int>(k)});
    EXPECT_EQ(written, (std::set<std::pair<int, int>>{{1, 44200}}));
    EXPECT_TRUE(store.isEdited(0, 41100)) << "stays red";
    const auto notices = reporter.notices();
    const auto has = [&](const char* text) {
        return std::any_of(notices.begin(), notices.end(), [&](const std::string& n) { return n.find(text) != std::string::npos; });
    };
    EXPECT_TRUE(has("Left out of the download: station 2")) << notices.size();
    EXPECT_TRUE(has("never read: station 1: 41100")) << notices.size();
}

// A module that answers later than the byte time-out: its answers arrive while the master
// already waits for the next request. No value is ever stored under another register: each
// one read is the module's own, or marked failed.
TEST_F(TransferLine, LateAnswersAreNeverTakenForTheNextRequest)
{
    sim::LineTiming slow = SimulatedLine::fastTiming();
    slow.responseDelayMs = 40;
    makeLine(slow);
    defineStations({{17, kCodeE}});
    const auto& map = tables.maps().holdingKind[1];
    for (int i = 0; i < kHoldingRegisters; ++i) {
        if (map[static_cast<std::size_t>(i)])
            line->sim().setRegister(17, 40000 + i, static_cast<std::uint16_t>(1000 + i));
    }
    // The byte time-out shortened in proportion, so that the test stays short.
    ASSERT_EQ(line->link->openLinkFromSettings(), 0);
    line->link->linkHandle()->setByteTimeout(25);
    auto checkStore = [&](const char* what) {
        int good = 0;
        for (int i = 0; i < kHoldingRegisters; ++i) {
            if (!map[static_cast<std::size_t>(i)] || store.commError(16, 40000 + i))
                continue;
            ASSERT_EQ(stored(17, 40000 + i), simValue(17, 40000 + i)) << what << " " << 40000 + i;
            ++good;
        }
        EXPECT_GT(good, 0) << what;
    };
    run(TransferType::Upload);
    checkStore("upload");

    // A verify and a comparison report only what the module really holds.
    for (int reg : {40005, 40006, 40010}) {
        store.setStoredValue(17, reg, 77);
        store.markEdited(16, reg);
    }
    ctx->verifyAfterDownload = true;
    run(TransferType::DownloadChanges);
    for (const Difference& d : ctx->differences)
        EXPECT_EQ(d.module, simValue(d.station, d.reg)) << "verify " << d.reg;
    line->sim().setRegister(17, 40005, 78);
    run(TransferType::Compare);
    for (const Difference& d : ctx->differences)
        EXPECT_EQ(d.module, simValue(d.station, d.reg)) << "compare " << d.reg;

    // Trend samples, one register at a time across the map.
    for (int reg : {40005, 40006, 40010, 40005, 40010}) {
        std::uint16_t v = 0;
        const int rc = line->master->readOneRegister(17, reg, &v);
        EXPECT_EQ(v, rc == kCommOk ? simValue(17, reg) : kMissingValue) << reg;
    }
    line->link->close();
}

// The port is counted for the link, not for one handle: a user that reopens a lost port
// keeps the others' uses, and no user's close closes the port under another.
TEST_F(TransferLine, PortUsersAreCountedAcrossAReopen)
{
    Link& link = *line->link;
    ASSERT_EQ(link.openLinkFromSettings(), 0); // the transfer
    ASSERT_EQ(link.openLinkFromSettings(), 0); // the logging
    EXPECT_EQ(link.users(), 2);
    const PortHandle first = link.linkHandle();
    first->close(); // as if lost under both
    ASSERT_EQ(link.openLink(), 0); // the logging opens it again
    EXPECT_NE(link.linkHandle(), first);
    EXPECT_EQ(link.users(), 3) << "the transfer still holds its use";
    link.close(); // the transfer ends
    link.close(); // the logging's first use
    ASSERT_TRUE(link.linkHandle()) << "still held by the reopen";
    std::uint16_t v = 0;
    EXPECT_EQ(line->master->readRegisters(link.linkHandle(), 1, 2, &v, 41100), kCommOk);
    link.close();
    EXPECT_FALSE(link.linkHandle()) << "the last user closed it";
}

// A monitor whose port cannot be opened says so once per loss of the line, and tries again
// every 300 ms, not at once.
TEST_F(TransferLine, MonitorOnAVanishedPortSaysItOnce)
{
    defineStations({{1, kCodeA}});
    CommSettings settings;
    settings.online = 1;
    settings.deviceOverride = work.file("vanished-tty");
    RecordingReporter said;
    Link link(settings, said);
    ModbusMaster master(link);
    TransferContext context(master, store, tables, said);
    Workers workers(context);
    const int at = tables.specials().reg(SpecialRole::Command1, 0);
    ASSERT_EQ(workers.startCommandMonitor(1, 0, at, true), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1600));
    context.monitorStop = true;
    const auto t0 = std::chrono::steady_clock::now();
    while (workers.monitorRunning(1, 0, 0) && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(2))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(workers.monitorRunning(1, 0, 0));
    const auto messages = said.taken();
    EXPECT_EQ(std::count_if(messages.begin(), messages.end(), [](const std::string& m) { return m.rfind("100", 0) == 0; }), 1)
        << messages.size() << " messages";
    EXPECT_TRUE(link.health().lost);
    // The user's own command still says it.
    std::uint16_t v = 0;
    EXPECT_EQ(master.readRegisters(nullptr, 1, 2, &v, 41100), kCommOpenFailed);
    EXPECT_EQ(said.taken().size(), messages.size() + 1);
}

// The module status's Cancel ends its own reads only: another user's exchanges go on.
TEST_F(TransferLine, ModuleStatusCancelLeavesOtherUsersAlone)
{
    defineStations({{1, kCodeA}, {2, kCodeA}, {3, kCodeA}});
    ASSERT_TRUE(line->open());
    std::atomic<bool> done{false};
    std::atomic<int> failed{0}, read{0};
    std::thread other([&] {
        while (!done) {
            std::uint16_t v = 0;
            (line->master->readRegisters(line->link->linkHandle(), 1, 2, &v, 41100) == kCommOk ? read : failed)++;
        }
    });
    for (int round = 0; round < 5; ++round) {
        std::atomic<bool> stop{false};
        std::thread status([&] { readModuleStatus(*line->master, line->link->linkHandle(), store, tables.specials(), 0, &stop); });
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        stop = true;
        for (int i = 0; i < 20; ++i) {
            line->master->interruptExchangeOf(status.get_id());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        status.join();
    }
    done = true;
    other.join();
    EXPECT_GT(read, 10);
    EXPECT_EQ(failed, 0) << "no exchange of the other user was cut";
    line->link->close();
}

// A re-read after a transfer that found the line dead is a sequence of its own, and one that
// is stopped marks failed only what it tried and did not get.
TEST_F(TransferLine, RereadStartsAfreshAndAStopMarksOnlyWhatItTried)
{
    defineStations({{1, kCodeA}});
    ASSERT_EQ(run(TransferType::Upload), kCommOk);
    ctx->lineDead = true; // left by an earlier transfer
    line->settings.online = 1;
    Workers workers(*ctx);
    line->sim().setRegister(1, 41100, 4242);
    workers.startStationReread(1);
    const auto t0 = std::chrono::steady_clock::now();
    while (workers.rereadRunning(1) && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(20))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(stored(1, 41100), 4242);
    EXPECT_FALSE(store.incomplete(0));

    std::thread stop = line->after(5, [&] { workers.requestStop(); });
    workers.startStationReread(1);
    while (workers.rereadRunning(1) && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(40))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stop.join();
    const auto& map = tables.maps().holdingKind[0];
    int last = 9999;
    while (last > 0 && !map[static_cast<std::size_t>(last)])
        --last;
    EXPECT_EQ(store.commError(0, 40000 + last), 0) << "not reached, so not marked";
}
