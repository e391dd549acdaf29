// The trend groups' file, and the logging into the shared section and the log file against
// the simulated line.

#include "format.h"
#include "simfixture.h"
#include "testutil.h"
#include "trendbuffer.h"
#include "trenddef.h"
#include "trendlog.h"

#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace vok;

namespace {

const std::string kNone = "(none)";

// The section as bytes at the offsets of its published layout, without the project's struct.
struct SectionBytes {
    const unsigned char* p;
    std::int32_t i32(std::size_t at) const
    {
        std::int32_t v;
        std::memcpy(&v, p + at, 4);
        return v;
    }
    double f64(std::size_t at) const
    {
        double v;
        std::memcpy(&v, p + at, 8);
        return v;
    }
    std::string text(std::size_t at) const { return reinterpret_cast<const char*>(p + at); }
    static std::size_t pen(int n) { return 23152 + 8896 * static_cast<std::size_t>(n); }
    double sample(int pen, int slot) const { return f64(SectionBytes::pen(pen) + 96 + 8 * static_cast<std::size_t>(slot)); }
    std::string stamp(int slot) const { return text(45 + 21 * static_cast<std::size_t>(slot)); }
    std::int32_t count(int pen) const { return i32(94320 + 4 * static_cast<std::size_t>(pen)); }
};

} // namespace

TEST(TrendFile, ReadingFollowsTheSearchAndItsEdgeCases)
{
    // Group 10 stands before group 1's pens would be searched for "Group1"; a pen line with an
    // empty field; group 3's line is missing; group 4 comes after it.
    std::string text = "Group1,5,Zones,,,\r\n"
                       "1,0,1,Process value,12.345,-0.019\r\n"
                       "2,2,3,Set value,0.0,400.0\r\n"
                       "3,2,,Set value,0.0,400.0\r\n"
                       "4,1,1,Set value,1,2\r\n"
                       "5,1,1,Set value,1,2\r\n"
                       "6,1,1,Set value,1,2\r\n"
                       "7,1,1,Set value,1,2\r\n"
                       "8,1,1,Set value,1,2\r\n"
                       "Group2,0,Second,,,\r\n";
    for (int p = 1; p <= 8; ++p)
        text += std::to_string(p) + ",1,1," + (p == 1 ? kNone : "Output value") + ",0,100\r\n";
    text += "Group4,60,Fourth,,,\r\n";
    for (int p = 1; p <= 8; ++p)
        text += std::to_string(p) + ",16,4,Deviation,-5,5\r\n";
    text += "Group10,2,Tenth,,,\r\n";
    for (int p = 1; p <= 8; ++p)
        text += std::to_string(p) + ",3,2,Process value,0,10\r\n";

    TrendDefinitions t;
    t.groups[2].name = "kept";
    t.read(text, kNone);
    const TrendGroup& g1 = t.groups[0];
    EXPECT_EQ(g1.name, "Zones");
    EXPECT_EQ(g1.cycle, 5);
    EXPECT_EQ(g1.pens[0].stationIndex, 0) << "station 0 reads as station 1";
    EXPECT_DOUBLE_EQ(g1.pens[0].scaleMin, 12.345);
    EXPECT_FALSE(g1.pens[1].unused);
    EXPECT_EQ(g1.pens[1].stationIndex, 1);
    EXPECT_EQ(g1.pens[1].channelIndex, 2);
    for (int p = 2; p < 8; ++p)
        EXPECT_TRUE(g1.pens[static_cast<std::size_t>(p)].unused) << "pen " << p + 1 << ": from the empty field on";
    EXPECT_EQ(t.groups[1].name, "Second");
    EXPECT_TRUE(t.groups[1].pens[0].unused) << "the none item";
    EXPECT_FALSE(t.groups[1].pens[1].unused);
    EXPECT_EQ(t.groups[2].name, "kept") << "a missing group line leaves the group as it was";
    EXPECT_EQ(t.groups[3].name, "Fourth") << "and the search goes on";
    EXPECT_EQ(t.groups[3].pens[7].stationIndex, 15);
    EXPECT_EQ(t.groups[9].name, "Tenth") << "group 10 is found on its own line";
    EXPECT_EQ(t.groups[9].cycle, 2);

    // The dialog keeps Min and Max cut toward zero to two decimals.
    for (auto [typed, kept] : {std::pair{12.345, 12.34}, {-0.019, -0.01}, {0.29, 0.29}, {-12.5, -12.5}})
        EXPECT_DOUBLE_EQ(cutToHundredths(typed), kept) << typed;
    EXPECT_DOUBLE_EQ(readNumber(" 1e2x"), 100);
    EXPECT_DOUBLE_EQ(readNumber("abc"), 0);
}

TEST(TrendFile, WritingGivesTheLineFormatsAndReadsBack)
{
    TextTable texts;
    texts.load(vok::test::kSampleLanguage, "");
    TrendDefinitions t;
    ASSERT_TRUE(t.readFile(vok::test::kSampleLanguage + "/DataTrendDefine.csv", texts.slot(230)));
    t.lookUpItemsInFile(vok::test::kSampleLanguage + "/AddContList.csv");
    EXPECT_EQ(t.penDefinition[0][0].key, "PV") << "the item's row, found by its name";
    t.groups[2].cycle = 0;
    t.groups[0].pens[0].scaleMin = -0.01;
    DataStore store;
    SpecialRegisters specials;
    const std::string text = t.text(ValueFormatter(store, specials));
    EXPECT_EQ(text.substr(0, text.find("\r\n") + 2), "Group1,1,Furnace zones 1-4,,,\r\n");
    EXPECT_NE(text.find("\r\nGroup3,1,"), std::string::npos) << "cycle 0 is stored as 1";
    EXPECT_NE(text.find("\r\n1,1,1,Process value,0,120\r\n"), std::string::npos) << text.substr(0, 200);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 90);
    TrendDefinitions back;
    back.read(text, texts.slot(230));
    for (int g = 0; g < kTrendGroups; ++g) {
        EXPECT_EQ(back.groups[static_cast<std::size_t>(g)].name, t.groups[static_cast<std::size_t>(g)].name);
        EXPECT_EQ(back.groups[static_cast<std::size_t>(g)].pens[3].itemName, t.groups[static_cast<std::size_t>(g)].pens[3].itemName);
    }
}

namespace {

// A logger on the simulated line with a section of its own.
class TrendLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::LineConfig c;
        c.stations = {{1, "VOKA112N01000"}, {2, "VOKA112N01000"}};
        line = std::make_unique<vok::test::SimulatedLine>(c);
        ASSERT_TRUE(line->started()) << line->error();
        texts.load(vok::test::kSampleLanguage, "");
        tables.loadSpecialRegisters(texts);
        ASSERT_TRUE(section.open(nullptr, "/voktest-trend-" + std::to_string(::getpid())));
        section.reset();
        for (const char* key : {"PVF", "CYC", "SV"}) {
            ParameterDefinition d;
            ASSERT_EQ(tables.findDefinition(ListType::Function, key, d), kTableOk);
            defs[key] = d;
        }
        logger = std::make_unique<TrendLogger>(*line->master, store, tables.specials(), section.buffer());
        setup.csvPath = dir.file("DataTrend.csv");
        setup.headers = {"Station-(Channel)", "Item", "Unit"};
        setup.group.name = "Test";
        setup.group.cycle = 1;
    }
    void TearDown() override
    {
        logger.reset();
        section.release(true);
    }
    void pen(int p, int station, int channel, const char* key)
    {
        TrendPenDef& d = setup.group.pens[static_cast<std::size_t>(p)];
        d.unused = false;
        d.stationIndex = station - 1;
        d.channelIndex = channel - 1;
        d.itemName = defs[key].name;
        d.scaleMax = 100;
        setup.definitions[static_cast<std::size_t>(p)] = defs[key];
    }
    void begin()
    {
        logger->prepare(setup);
        logger->writeDefinitions();
        ASSERT_TRUE(logger->writeHeaders());
        line->open();
    }
    SectionBytes bytes() const { return {reinterpret_cast<const unsigned char*>(section.buffer())}; }
    std::vector<std::string> logLines() const
    {
        std::vector<std::string> lines;
        const std::string text = vok::test::readFile(setup.csvPath);
        for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
            lines.push_back(text.substr(at, end - at));
        return lines;
    }

    std::unique_ptr<vok::test::SimulatedLine> line;
    vok::test::TempDir dir;
    TextTable texts;
    DefinitionTables tables{vok::test::kSampleLanguage};
    DataStore store;
    TrendSection section;
    std::map<std::string, ParameterDefinition> defs;
    std::unique_ptr<TrendLogger> logger;
    TrendLogger::Setup setup;
};

} // namespace

TEST_F(TrendLine, CycleScalesByKindAndMarksGaps)
{
    pen(0, 1, 1, "PVF"); // kind 0, one decimal
    pen(1, 1, 2, "CYC"); // kind 3, unsigned
    pen(3, 2, 1, "PVF");
    line->sim().setRegister(1, defs["PVF"].registers[0], 0x8000);
    line->sim().setRegister(1, defs["CYC"].registers[1], 65535);
    line->sim().setRegister(2, defs["PVF"].registers[0], 123);
    begin();
    const SectionBytes b = bytes();
    EXPECT_EQ(b.i32(4), 1) << "penDefsReady";
    EXPECT_EQ(b.i32(8), -1) << "no sample yet";
    EXPECT_EQ(b.text(12), "Test");
    EXPECT_EQ(b.i32(SectionBytes::pen(0)), 1);
    EXPECT_EQ(b.i32(SectionBytes::pen(0) + 4), 1);
    EXPECT_EQ(b.i32(SectionBytes::pen(1) + 12), 1) << "channel index";
    EXPECT_EQ(b.i32(SectionBytes::pen(0) + 16), 1) << "decimals";
    EXPECT_EQ(b.i32(SectionBytes::pen(1) + 20), 3) << "value kind";
    EXPECT_DOUBLE_EQ(b.f64(SectionBytes::pen(0) + 24), 100.0);
    EXPECT_EQ(b.text(SectionBytes::pen(0) + 40), defs["PVF"].name);
    EXPECT_EQ(b.text(SectionBytes::pen(0) + 73), "s");
    EXPECT_EQ(b.i32(SectionBytes::pen(2)), 0) << "an unused pen stays zero";
    EXPECT_DOUBLE_EQ(b.sample(0, 5), -9999.0) << "the rings start empty";

    logger->runCycle("2026/12/10 10:00:00");
    line->sim().setFault(2, "silent", "", true, nullptr);
    logger->runCycle("2026/12/10 10:00:01");
    EXPECT_EQ(b.i32(8), 1);
    EXPECT_DOUBLE_EQ(b.sample(0, 0), -3276.8);
    EXPECT_DOUBLE_EQ(b.sample(1, 0), 65535.0);
    EXPECT_DOUBLE_EQ(b.sample(3, 0), 12.3);
    EXPECT_DOUBLE_EQ(b.sample(3, 1), -9999.0) << "the silent station's pen has a gap";
    EXPECT_DOUBLE_EQ(b.sample(0, 1), -3276.8) << "while the others carry values";
    EXPECT_EQ(b.stamp(1), "2026/12/10 10:00:01");
    EXPECT_EQ(b.count(0), 2);
    EXPECT_EQ(b.count(2), 0);
    const auto lines = logLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Station-(Channel),1-(1),1-(2),,2-(1),,,,,");
    EXPECT_EQ(lines[2], "Unit,s,s,,s,,,,,");
    EXPECT_EQ(lines[3], "2026/12/10 10:00:00,-3276.8,65535,,12.3,,,,,");
    EXPECT_EQ(lines[4], "2026/12/10 10:00:01,-3276.8,65535,,,,,,,") << "an empty cell for the failed read";
    line->link->close();
}

TEST_F(TrendLine, UnusedPensAndTheRingsWrap)
{
    begin();
    logger->runCycle("2026/12/10 10:00:00");
    EXPECT_EQ(logLines().back(), "2026/12/10 10:00:00,,,,,,,,,") << "the time and nine commas";
    const SectionBytes b = bytes();
    EXPECT_EQ(b.i32(8), 0) << "the index advances";
    EXPECT_EQ(b.stamp(0), "") << "no sample, no time stamp";
    EXPECT_EQ(b.i32(4), 0) << "no pen: no definitions";

    pen(0, 1, 1, "SV");
    begin();
    for (int i = 0; i < 1101; ++i)
        logger->runCycle("2026/12/10 10:00:00");
    EXPECT_EQ(b.i32(8), 0) << "the 1101st cycle writes slot 0 again";
    EXPECT_EQ(b.count(0), 1100);
    line->link->close();
}

TEST_F(TrendLine, StopDuringALongCycleEndsWithinASecond)
{
    pen(0, 1, 1, "SV");
    setup.group.cycle = 60;
    ASSERT_TRUE(logger->start(setup));
    while (logLines().size() < 4)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto t0 = std::chrono::steady_clock::now();
    logger->stop();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
    EXPECT_FALSE(logger->running());
    EXPECT_EQ(logLines().size(), 4u) << "no further line";
    EXPECT_FALSE(line->link->linkHandle()) << "the port is closed again";
}
