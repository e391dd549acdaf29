// The parameter list: its CSV from a store and a language folder, and the print control line.

#include "fileutil.h"
#include "linefile.h"
#include "paralist.h"
#include "simfixture.h"
#include "storeutil.h"
#include "testutil.h"

#include <filesystem>

#include <gtest/gtest.h>

using namespace vok;

namespace {

// A store holding what the simulated line of `lineFile` holds, as an upload would leave it.
void fillFromLine(const std::string& lineFile, DataStore& store)
{
    sim::LineDescription line;
    std::string error;
    ASSERT_TRUE(sim::loadLineFile(lineFile, line, &error)) << error;
    sim::SimLine sim(line.config);
    ASSERT_TRUE(sim.start(&error)) << error;
    for (const auto& [station, code] : line.config.stations) {
        vok::test::defineStation(store, station, code);
        for (int reg = kFirstStoredRegister + 1; reg <= kLastStoredRegister; ++reg) {
            if (auto v = sim.registerValue(station, reg))
                store.setStoredValue(station, reg, *v);
        }
    }
    store.rebuildChannelLists();
}

using vok::test::defineStation;

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        out.push_back(text.substr(at, end - at));
    return out;
}

} // namespace

TEST(ParameterList, HeadersAndLinesOfTheEdgeCases)
{
    test::TempDir dir;
    // A main list with a group-only line and an item whose additional row is malformed.
    const std::string folder = dir.path();
    std::filesystem::copy(test::kSampleLanguage, folder, std::filesystem::copy_options::recursive);
    ASSERT_EQ(replaceFile(joinPath(folder, "EventList.csv"), "// events\r\nEvent,,\r\nGroup only,,\r\nInputs,Page,EI1F\r\n,,BROKEN\r\n,,NOSUCH\r\n"), WriteResult::Ok);
    auto add = readWholeFile(joinPath(folder, "AddEventList.csv"));
    ASSERT_TRUE(add);
    ASSERT_EQ(replaceFile(joinPath(folder, "AddEventList.csv"), std::string(add->view()) + "1,BROKEN,Broken row,notanumber\r\n"), WriteResult::Ok);

    struct Case {
        const char* what;
        int family;
        int kind;
        std::vector<std::pair<int, const char*>> stations;
        std::vector<std::string> expected; // lines 3 onwards, as far as given
    };
    const Case cases[] = {
        {"events on 18 and 20", 0, 2, {{1, "VOKA112N01000"}, {18, "VOKE100N01000"}, {20, "VOKE100N01000"}},
         {"[1],[2],[3],18,20,unit,", "Group only,,", "Inputs,Page,Input 1 function,0,0,,", ",,", ",,"}},
        {"no station of the kind", 0, 3, {{1, "VOKA112N01000"}}, {"[1],[2],[3],unit,"}},
        {"family 1: one list, empty headers", 1, 1, {{1, "VOKC100N01000"}}, {"[1],[2],[3],,,,,unit,"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DefinitionTables tables(folder, c.family);
        TextTable texts;
        texts.load(folder, "");
        tables.loadSpecialRegisters(texts);
        DataStore store;
        for (auto [station, code] : c.stations)
            defineStation(store, station, code);
        store.rebuildChannelLists();
        const int kind = paralist::kindOfFamily(c.family, c.kind);
        const auto lines = linesOf(paralist::buildList(tables, store, kind, "my comment", false));
        ASSERT_GE(lines.size(), 2 + c.expected.size());
        EXPECT_EQ(lines[0], "my comment,");
        EXPECT_EQ(lines[1], ",");
        for (std::size_t i = 0; i < c.expected.size(); ++i)
            EXPECT_EQ(lines[2 + i], c.expected[i]) << "line " << i + 3;
    }

    // A main list that cannot be read gives an empty list.
    std::filesystem::remove(joinPath(folder, "AnalogList.csv"));
    DefinitionTables tables(folder, 0);
    DataStore store;
    EXPECT_EQ(paralist::buildList(tables, store, 3, "c", false), "");
}

TEST(ParameterList, TheDemoLineAsReviewed)
{
    DataStore store;
    fillFromLine(VOK_SOURCE_DIR "/sample/lines/demo.line", store);
    DefinitionTables tables(test::kSampleLanguage, 0);
    TextTable texts;
    texts.load(test::kSampleLanguage, "");
    tables.loadSpecialRegisters(texts);
    // Station 1 channel 1 in degF, its set value failed: "-", and the set value's unit comes
    // from channel 2, the first with a value.
    store.setStoredValue(1, 41002, 1);
    store.setCommError(0, 41011, 1);

    for (const auto& [kind, file] : {std::pair{1, "demo_function_list.csv"}, std::pair{2, "demo_event_list.csv"}}) {
        SCOPED_TRACE(file);
        const std::string got = paralist::buildList(tables, store, kind, "Demo line", true);
        auto expected = readWholeFile(std::string(VOK_SOURCE_DIR "/tests/expected/") + file);
        ASSERT_TRUE(expected) << file;
        EXPECT_EQ(got, std::string(expected->view()));
        if (got != std::string(expected->view()))
            replaceFile(std::string("/tmp/") + file, got);
    }
    // For printing, hexadecimal values and bit patterns carry no apostrophe.
    const std::string forPrint = paralist::buildList(tables, store, 1, "Demo line", false);
    EXPECT_EQ(forPrint.find(",'"), std::string::npos);
    EXPECT_NE(paralist::buildList(tables, store, 1, "Demo line", true).find(",'"), std::string::npos);
}

TEST(ParameterList, PrintControlLine)
{
    DataStore store;
    defineStation(store, 1, "VOKA112N01000");
    defineStation(store, 2, "VOKB200N01R00");
    defineStation(store, 18, "VOKE100N01000");
    store.rebuildChannelLists();
    struct Case {
        std::string printer;
        int kind;
        std::string expected;
    };
    const Case cases[] = {
        {"", 1, "0//home/eng/DATA/ParameterOutputList.csv/LDPrint/1/12/0/END"},
        {"Office_A4", 2, "0//home/eng/DATA/ParameterOutputList.csv/LDPrint/Office_A4/5/0/END"},
        {"", 6, "0//home/eng/DATA/ParameterOutputList.csv/LDPrint/1/8/0/END"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(paralist::printControl("/home/eng", c.printer, paralist::printColumnCount(store, c.kind)), c.expected);
}
