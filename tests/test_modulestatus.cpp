// The modules the status screen shows, read from the simulated line: which are listed, in
// which cells, with which picture and text.

#include "definitions.h"
#include "modulestatus.h"
#include "simfixture.h"

#include <gtest/gtest.h>

using namespace vok;
using vok::test::SimulatedLine;

namespace {

struct StatusRead {
    std::vector<ModuleStatus> all;
    std::vector<ModuleStatus> shown;
};

StatusRead readLine(const sim::LineConfig& config, int family = 0)
{
    SimulatedLine line(config);
    EXPECT_TRUE(line.started()) << line.error();
    TextTable texts;
    texts.load(test::kSampleLanguage, "");
    DefinitionTables tables(test::kSampleLanguage, family);
    tables.loadSpecialRegisters(texts);
    DataStore store;
    for (const auto& [station, code] : config.stations)
        store.stationPresent[static_cast<std::size_t>(station - 1)] = 1;
    line.master->setModuleFamily(family);
    StatusRead r;
    r.all = readModuleStatus(*line.master, line.open(), store, tables.specials(), family);
    r.shown = shownModules(r.all);
    line.link->close();
    return r;
}

} // namespace

TEST(ModuleStatus, CellsInListOrderWithoutGaps)
{
    struct Case {
        const char* what;
        int stations;      // stations 1..n (events from 17 on)
        bool addressModule; // a module at address 64
        std::size_t shown;
    };
    const Case cases[] = {
        {"17 stations, no address module: one row", 17, false, 17},
        {"18 listed: the 18th in the first cell of row two", 17, true, 18},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::LineConfig config;
        for (int s = 1; s <= c.stations; ++s)
            config.stations[s] = s <= 16 ? "VOKA112N01000" : "VOKE100N01000";
        if (c.addressModule)
            config.modules[64] = "VOKP100N01000";
        const StatusRead r = readLine(config);
        EXPECT_EQ(r.all.size(), 34u);
        ASSERT_EQ(r.shown.size(), c.shown);
        if (c.addressModule) {
            EXPECT_EQ(r.shown[0].heading, 64);
            EXPECT_EQ(r.shown[0].picture, 5);
            EXPECT_EQ(r.shown[17].heading, 17) << "station 17 opens the second row";
        } else {
            EXPECT_EQ(r.shown[0].heading, 1);
            EXPECT_EQ(r.shown[16].heading, 17);
        }
        EXPECT_EQ(r.shown[16 + c.addressModule].picture, 1) << "the event module";
    }
}

TEST(ModuleStatus, KindLettersFailuresAndUnprintableWords)
{
    sim::LineConfig config;
    config.stations = {{1, "VOKA112N01000"}, {2, "VOKB200N01R00"}, {3, "VOKV100N01000"}, {4, "VOKA112N01000"},
                       {5, "VOKA112N01000"}, {17, "VOKE100N01000"}};
    config.modules[128] = "VOKP100N01000";
    config.faults[3].identity = "VOKD100N01000";             // a kind no picture stands for
    config.faults[4].silent = true;                           // the identification read fails
    config.faults[5].identity = std::string("VOKA\x01\xff", 6) + "2N01000"; // unprintable words
    const StatusRead r = readLine(config);
    std::map<int, ModuleStatus> by;
    for (const ModuleStatus& m : r.shown)
        by[m.heading] = m;
    ASSERT_EQ(r.shown.size(), 7u);
    EXPECT_EQ(by[1].picture, 0);
    EXPECT_EQ(by[2].picture, 2);
    EXPECT_EQ(by[3].picture, kErrorPicture) << "kind letter D";
    EXPECT_EQ(by[4].picture, kErrorPicture) << "a silent station";
    EXPECT_EQ(moduleStatusText(by[4]), "\n -\n") << "its blocks cleared";
    EXPECT_EQ(by[17].picture, 1);
    EXPECT_EQ(by[128].picture, 5);
    EXPECT_EQ(moduleStatusText(by[1]).substr(0, 13), "112N\n -01000\n");
    const std::string odd = moduleStatusText(by[5]);
    EXPECT_EQ(odd.substr(0, 13), "??2N\n -01000\n") << odd;

    // Families 1 and 2 have no address modules.
    sim::LineConfig com;
    com.family = 1;
    com.stations = {{1, "VOKC100N01000"}};
    com.modules[64] = "VOKP100N01000";
    const StatusRead c = readLine(com, 1);
    ASSERT_EQ(c.shown.size(), 1u);
    EXPECT_EQ(c.shown[0].heading, 1);
    EXPECT_EQ(c.shown[0].picture, 4);
}
