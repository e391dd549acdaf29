// Every user of the line at once for about a minute while faults come and go: logging, online
// edits, a command monitor, uploads and the module status. Nothing may wait long, no register
// may end up holding another register's value, and every failure is counted.

#include "modulestatus.h"
#include "simfixture.h"
#include "store.h"
#include "storeutil.h"
#include "testutil.h"
#include "texttable.h"
#include "transfer.h"
#include "trendbuffer.h"
#include "trendlog.h"
#include "workers.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using namespace vok;
using Clock = std::chrono::steady_clock;

namespace {

const char* kCodeA = "VOKA112N01000";
const char* kCodeE = "VOKE100N01000";

// A distinct value per station and register, so that a value stored under the wrong one shows.
std::uint16_t mark(int station, int reg)
{
    return static_cast<std::uint16_t>((station * 7919 + reg * 31) & 0x7FFF);
}

// Fails the test when a user of the line makes no progress for longer than the limit.
class Watchdog {
public:
    explicit Watchdog(int users) : m_beats(static_cast<std::size_t>(users)) { beatAll(); }
    void beat(int user) { m_beats[static_cast<std::size_t>(user)] = Clock::now().time_since_epoch().count(); }
    void beatAll()
    {
        for (std::size_t i = 0; i < m_beats.size(); ++i)
            beat(static_cast<int>(i));
    }
    // The longest time any user went without a beat, now.
    double worstSeconds() const
    {
        const auto now = Clock::now().time_since_epoch().count();
        long long worst = 0;
        for (const auto& b : m_beats)
            worst = std::max(worst, now - b.load());
        return std::chrono::duration<double>(Clock::duration(worst)).count();
    }

private:
    std::vector<std::atomic<long long>> m_beats;
};

} // namespace

TEST(Soak, EveryUserOfTheLineAtOnceWhileFaultsComeAndGo)
{
    const char* env = std::getenv("VOK_SOAK_SECONDS");
    const int seconds = env ? std::max(5, std::atoi(env)) : 60;
    // The tests are always built with sanitizers, which slow every exchange down.
    const double limit = 10.0;

    sim::LineConfig config;
    config.stations = {{1, kCodeA}, {2, kCodeA}, {3, kCodeA}, {17, kCodeE}};
    config.commandResetMs = 300;
    test::SimulatedLine line(config);
    ASSERT_TRUE(line.started()) << line.error();
    line.settings.online = 1;
    test::TempDir work;
    line.settings.workingDir = work.path();

    TextTable texts;
    texts.load(test::kSampleLanguage, "");
    DefinitionTables tables(test::kSampleLanguage);
    tables.loadSpecialRegisters(texts);
    tables.buildRegisterMaps();
    for (int station : {1, 2, 3, 17}) {
        const auto& map = tables.maps().holdingKind[station <= 16 ? 0 : 1];
        for (int i = 0; i < kHoldingRegisters; ++i) {
            if (map[static_cast<std::size_t>(i)])
                line.sim().setRegister(station, kFirstHolding + i, mark(station, kFirstHolding + i));
        }
    }
    const int command = tables.specials().reg(SpecialRole::Command1, 0);
    const int edited = 41100; // written online on station 3, so not the module's own mark

    DataStore store;
    for (int station : {1, 2, 3, 17})
        test::defineStation(store, station, station <= 16 ? kCodeA : kCodeE);
    store.selectPresentStations();
    NullReporter reporter;
    TransferContext ctx(*line.master, store, tables, reporter);
    ctx.nodeSlotsInUse = 100;
    Workers workers(ctx);

    // Logging: two pens, one on the station that has the faults.
    TrendSection section;
    ASSERT_TRUE(section.open(nullptr, "/voktest-soak-" + std::to_string(::getpid())));
    section.reset();
    DataStore logStore;
    TrendLogger logger(*line.master, logStore, tables.specials(), &section);
    TrendLogger::Setup setup;
    setup.csvPath = work.file("DataTrend.csv");
    setup.headers = {"Station-(Channel)", "Item", "Unit"};
    setup.group.name = "Soak";
    setup.group.cycle = 1;
    for (int p : {0, 1}) {
        ParameterDefinition d;
        ASSERT_EQ(tables.findDefinition(ListType::Function, "SV", d), kTableOk);
        setup.definitions[static_cast<std::size_t>(p)] = d;
        TrendPenDef& pen = setup.group.pens[static_cast<std::size_t>(p)];
        pen.unused = false;
        pen.stationIndex = p == 0 ? 0 : 1;
        pen.itemName = d.name;
        pen.scaleMax = 100;
    }
    ASSERT_TRUE(logger.start(setup));

    enum { kEdits, kMonitor, kUploads, kStatus, kFaults, kUsers };
    Watchdog dog(kUsers);
    std::atomic<bool> done{false};
    std::atomic<int> editsOk{0}, editsFailed{0}, uploads{0}, statusReads{0}, monitors{0};
    std::atomic<int> misplaced{0};

    std::vector<std::thread> users;
    // Online edits, as the GUI thread makes them.
    users.emplace_back([&] {
        for (std::uint16_t v = 1; !done; ++v) {
            const std::uint16_t value = static_cast<std::uint16_t>(100 + v % 500);
            const int rc = line.master->writeRegisters(line.link->linkHandle(), 3, 2, &value, edited);
            ++(rc == kCommOk ? editsOk : editsFailed);
            dog.beat(kEdits);
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        }
    });
    // A command and its monitor, again and again.
    users.emplace_back([&] {
        while (!done) {
            const std::uint16_t one = 1;
            line.master->writeRegisters(line.link->linkHandle(), 1, 2, &one, command);
            if (workers.startCommandMonitor(1, 0, command, true) >= 0) {
                ++monitors;
                while (!done && workers.monitorRunning(1, 0, 0)) {
                    dog.beat(kMonitor);
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                }
            }
            dog.beat(kMonitor);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    });
    // Uploads through the transfer worker; after each, every register read is the module's.
    users.emplace_back([&] {
        while (!done) {
            store.selectPresentStations();
            workers.startTransferWorker(TransferType::Upload);
            while (workers.transferRunning()) {
                dog.beat(kUploads);
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            workers.waitTransfer();
            ++uploads;
            for (int station : {1, 2, 3, 17}) {
                const auto& map = tables.maps().holdingKind[station <= 16 ? 0 : 1];
                for (int i = 0; i < kHoldingRegisters; ++i) {
                    const int reg = kFirstHolding + i;
                    if (!map[static_cast<std::size_t>(i)] || store.commError(station - 1, reg) || reg == command
                        || (station == 3 && reg == edited))
                        continue;
                    std::uint16_t v = 0;
                    store.getStoredValue(station, reg, v);
                    if (v != mark(station, reg) && misplaced++ < 5)
                        ADD_FAILURE() << "station " << station << " register " << reg << " holds " << v;
                }
            }
            dog.beat(kUploads);
        }
    });
    // The module status, cancelled part-way now and then.
    users.emplace_back([&] {
        for (int round = 0; !done; ++round) {
            std::atomic<bool> stop{false};
            std::thread reader([&] {
                DataStore scratch;
                for (int station : {1, 2, 3, 17})
                    test::defineStation(scratch, station, station <= 16 ? kCodeA : kCodeE);
                readModuleStatus(*line.master, line.link->linkHandle(), scratch, tables.specials(), 0, &stop);
            });
            if (round % 2) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                stop = true;
                line.master->interruptExchangeOf(reader.get_id());
            }
            reader.join();
            ++statusReads;
            dog.beat(kStatus);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
    });
    // Faults on station 2 that come and go.
    users.emplace_back([&] {
        const char* kinds[][2] = {{"crc", "0.3"}, {"silent", ""}, {"garbage", "3"}, {"wrong-address", ""}, {"truncate", ""}};
        for (int k = 0; !done; ++k) {
            line.sim().setFault(2, kinds[k % 5][0], kinds[k % 5][1], true, nullptr);
            for (int i = 0; i < 30 && !done; ++i) {
                dog.beat(kFaults);
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            line.sim().clearFaults(2);
            for (int i = 0; i < 30 && !done; ++i) {
                dog.beat(kFaults);
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
    });

    // Every user must move on: a wait that outlasts the limit is a hang.
    double worst = 0;
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    // The users' first beats come once they run.
    dog.beatAll();
    while (Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        worst = std::max(worst, dog.worstSeconds());
        if (worst > limit)
            break;
    }
    done = true;
    ctx.monitorStop = true;
    const auto stopAt = Clock::now();
    logger.stop();
    for (std::thread& t : users)
        t.join();
    workers.stopAllWorkers();
    const double stopping = std::chrono::duration<double>(Clock::now() - stopAt).count();
    section.release(true);

    EXPECT_LE(worst, limit) << "a user of the line waited " << worst << " s";
    EXPECT_LT(stopping, limit);
    EXPECT_EQ(misplaced, 0);
    // Each run of each user did something, and every failure was counted.
    EXPECT_GT(uploads, 0);
    EXPECT_GT(statusReads, 0);
    EXPECT_GT(monitors, 0);
    EXPECT_GT(editsOk, 0);
    const TrendLogger::Status st = logger.status();
    EXPECT_GT(st.cycles, 0);
    EXPECT_EQ(st.samplesRead + st.samplesFailed, 2 * st.cycles) << "every pen of every cycle counted";
    EXPECT_GT(st.samplesRead, 0);
    EXPECT_TRUE(st.ended.empty()) << st.ended;
    // The module holds one of the values the online edits wrote.
    const auto finalValue = line.sim().registerValue(3, edited);
    ASSERT_TRUE(finalValue.has_value());
    EXPECT_GE(*finalValue, 100);
    EXPECT_LT(*finalValue, 600);
}
