// The trend groups' file, and the logging into the shared section and the log file against
// the simulated line.

#include "format.h"
#include "simfixture.h"
#include "testutil.h"
#include "trendbuffer.h"
#include "trenddef.h"
#include "trendlog.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/mman.h>
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
        logger = std::make_unique<TrendLogger>(*line->master, store, tables.specials(), &section);
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

namespace {

// Waits up to `seconds` for `done`.
template <class F>
bool within(double seconds, F done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace

// Unattended logging on a line that falls silent, then hangs up and comes back behind the
// same name: each loss and each return is said once, the cycle goes on with empty cells, and
// the port is opened again.
TEST_F(TrendLine, LineLostAndBackWhileLogging)
{
    pen(0, 1, 1, "SV");
    const std::string link = dir.file("tty");
    std::filesystem::create_symlink(line->path(), link);
    line->settings.deviceOverride = link;
    std::mutex m;
    std::vector<std::string> events;
    logger->onEvent = [&](const std::string& e) {
        std::lock_guard lock(m);
        events.push_back(e);
    };
    auto count = [&](const char* word) {
        std::lock_guard lock(m);
        return std::count_if(events.begin(), events.end(), [&](const std::string& e) { return e.find(word) != std::string::npos; });
    };
    ASSERT_TRUE(logger->start(setup));
    ASSERT_TRUE(within(10, [&] { return logLines().size() >= 5; }));

    line->sim().setFault(0, "silent", "", true, nullptr);
    ASSERT_TRUE(within(10, [&] { return logger->status().lost; })) << "three silent cycles";
    EXPECT_EQ(count("lost"), 1);
    line->sim().clearFaults(0);
    ASSERT_TRUE(within(5, [&] { return count("back") == 1; }));

    line->hangUp();
    ASSERT_TRUE(within(5, [&] { return count("lost") == 2; })) << "a hang-up is a loss at once";
    sim::LineConfig c;
    c.stations = {{1, "VOKA112N01000"}};
    vok::test::SimulatedLine again(c);
    ASSERT_TRUE(again.started());
    std::filesystem::remove(link);
    std::filesystem::create_symlink(again.path(), link);
    ASSERT_TRUE(within(8, [&] { return count("back") == 2; })) << "the port is opened again: " << line->link->lastError()
                                                                  << " " << logger->status().lostWhy;
    const std::size_t before = logLines().size();
    ASSERT_TRUE(within(5, [&] { return logLines().size() > before + 1; }));
    logger->stop();
    EXPECT_EQ(count("lost"), 2) << "said once per loss";
    EXPECT_TRUE(logger->status().running == false);
    // The gap shows as empty cells, the rows around it carry values.
    const auto lines = logLines();
    EXPECT_TRUE(std::any_of(lines.begin() + 3, lines.end(), [](const std::string& l) { return l.substr(19, 2) == ",,"; }));
    EXPECT_NE(lines.back().substr(19, 2), ",,") << lines.back();
    EXPECT_FALSE(line->link->linkHandle()) << "its use of the port ended";
}

// A log that cannot be written ends logging with the file and the reason; the last line is
// whole (a short write is cut back). Needs a small file system of its own.
TEST_F(TrendLine, FullDiskEndsLoggingWithWholeLines)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    const std::string folder = dir.file("full");
    std::filesystem::create_directories(folder);
    if (std::system(("mount -t tmpfs -o size=8k tmpfs " + folder + " 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "this machine does not let us mount a tmpfs";
    // Most of the space taken, so that a few lines fill the rest.
    { std::ofstream(folder + "/ballast", std::ios::binary) << std::string(4096 + 2048, 'x'); }
    pen(0, 1, 1, "SV");
    pen(1, 1, 2, "SV");
    setup.csvPath = folder + "/DataTrend.csv";
    logger->prepare(setup);
    logger->writeDefinitions();
    line->open();
    bool ok = logger->writeHeaders();
    for (int i = 0; ok && i < 400 && logger->status().ended.empty(); ++i)
        logger->runCycle("2026/12/10 10:00:00");
    const std::string ended = logger->status().ended;
    const std::string text = vok::test::readFile(setup.csvPath);
    std::system(("umount " + folder).c_str());
    line->link->close();
    ASSERT_FALSE(ended.empty()) << "the disk never filled";
    EXPECT_NE(ended.find(setup.csvPath), std::string::npos) << ended;
    EXPECT_NE(ended.find("No space left"), std::string::npos) << ended;
    EXPECT_TRUE(text.empty() || text.ends_with("\r\n")) << "no torn line";
}

// Another process cuts the shared section short while logging writes into it: logging goes
// on with the file alone and says so; nothing dies of SIGBUS.
TEST_F(TrendLine, TruncatedSectionIsLeftNotFatal)
{
    pen(0, 1, 1, "SV");
    begin();
    logger->runCycle("2026/12/10 10:00:00");
    const std::string name = "/voktest-trend-" + std::to_string(::getpid());
    const int fd = ::shm_open(name.c_str(), O_RDWR, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 0), 0);
    ::close(fd);
    std::vector<std::string> events;
    logger->onEvent = [&](const std::string& e) { events.push_back(e); };
    logger->runCycle("2026/12/10 10:00:01");
    logger->runCycle("2026/12/10 10:00:02");
    EXPECT_TRUE(section.broken());
    EXPECT_TRUE(logger->status().sectionBroken);
    EXPECT_EQ(logLines().size(), 6u) << "the file goes on";
    ASSERT_FALSE(events.empty());
    EXPECT_NE(events[0].find(name), std::string::npos) << events[0];
    line->link->close();
}

// What the groups' file says that no pen can log is named by group and pen; those pens are
// left empty for logging while the file's text stays as it was; a station is never wrapped.
TEST(TrendDefinitions, ProblemsOfTheFileAreNamedAndTheirPensLeftEmpty)
{
    const std::string text = "Group1,1,Checks,,,\r\n"
                             "1,40,1,Set value,0.0,200.0\r\n"   // station above 32
                             "2,257,1,Set value,0.0,200.0\r\n"  // would wrap to station 1
                             "3,17,2,Set value,0.0,200.0\r\n"   // an event module has one channel
                             "4,1,5,Set value,0.0,200.0\r\n"    // no channel 5
                             "5,1,1,No such item,0.0,200.0\r\n" // not in the list
                             "6,1,1,Set value,0.0,200.0\r\n"    // good
                             "7,1,1,Set value\r\n"              // missing columns: it and the rest
                             "8,1,1,Set value,0.0,200.0\r\n";
    TrendDefinitions defs;
    defs.read(text, kNone);
    defs.lookUpItemsInFile(vok::test::kSampleLanguage + "/AddContList.csv");
    std::vector<std::string> expected = {"Group 1, pen 1: station 40", "Group 1, pen 2: station 257",
                                         "Group 1, pen 3: station 17 has no channel 2", "Group 1, pen 4: station 1 has no channel 5",
                                         "Group 1, pen 7: the line has missing", "Group 1, pen 5: the item \"No such item\""};
    ASSERT_EQ(defs.problems.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(defs.problems[i].starts_with(expected[i])) << defs.problems[i];
    const TrendGroup g = defs.usableGroup(0);
    for (int p = 0; p < 8; ++p)
        EXPECT_EQ(g.pens[static_cast<std::size_t>(p)].unused, p != 5) << "pen " << p + 1;
    EXPECT_EQ(defs.groups[0].pens[1].stationIndex, 256) << "kept as the file says, for writing it back";
}

// The previous log keeps the time of its first sample in its name; without samples, that of
// its last change.
TEST(TrendLogFile, KeptUnderTheTimeOfItsFirstSample)
{
    vok::test::TempDir dir;
    const std::string csv = dir.write("DataTrend.csv", "a,\r\nb,\r\nc,\r\n2026/12/10 10:00:05,1,\r\n");
    EXPECT_EQ(TrendLogger::keptName(csv), dir.file("DataTrend-20261210-100005.csv"));
    dir.write("Empty.csv", "a,\r\nb,\r\nc,\r\n");
    const std::string empty = TrendLogger::keptName(dir.file("Empty.csv"));
    EXPECT_TRUE(empty.starts_with(dir.file("Empty-2"))) << empty;
    EXPECT_EQ(empty.size(), dir.file("Empty-YYYYMMDD-HHMMSS.csv").size()) << empty;
}
