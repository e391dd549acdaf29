// Upload, download, the connection check and the command monitor against the simulated line.

#include "simfixture.h"
#include "transfer.h"
#include "workers.h"

#include <chrono>
#include <gtest/gtest.h>
#include <mutex>

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
};

class TransferLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::LineConfig c;
        c.stations = {{1, kCodeA}, {2, kCodeA}, {17, kCodeE}};
        c.commandResetMs = 200;
        line = std::make_unique<SimulatedLine>(c);
        ASSERT_TRUE(line->started()) << line->error();
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
        for (auto [station, code] : stations) {
            store.stationPresent[station - 1] = 1;
            for (int i = 0; i < 13; ++i)
                store.record(station - 1).identification[i] = static_cast<unsigned char>(code[i]);
        }
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
    defineStations({{1, kCodeA}, {2, kCodeA}, {17, kCodeE}});
    ASSERT_EQ(run(TransferType::Upload), kCommOk);
    // Station 1's exclusion condition is 47 (its two registers stay), station 2's is 46.
    const ExclusionEntry e = tables.exclusions()[0];
    ASSERT_NE(e.condition, 0);
    for (int station : {1, 2}) {
        line->sim().setRegister(station, e.first, 11);
        line->sim().setRegister(station, e.second, 12);
        store.setStoredValue(station, e.condition, static_cast<std::uint16_t>(station == 1 ? 47 : 46));
        store.setStoredValue(station, e.first, 21);
        store.setStoredValue(station, e.second, 22);
    }
    store.setStoredValue(1, 41100, 777);
    store.setStoredValue(1, 44200, 888);
    store.setStoredValue(17, 40005, 5);
    ASSERT_EQ(run(TransferType::Download), kCommOk);
    EXPECT_EQ(simValue(1, e.first), 11);
    EXPECT_EQ(simValue(1, e.second), 12);
    EXPECT_EQ(store.commError(0, e.first), 0) << "an excluded register counts as succeeded";
    EXPECT_EQ(simValue(2, e.first), 21);
    EXPECT_EQ(simValue(2, e.second), 22);
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
