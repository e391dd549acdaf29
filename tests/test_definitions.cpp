#include "definitions.h"
#include "store.h"
#include "testutil.h"
#include "texttable.h"

#include <gtest/gtest.h>

using namespace vok;
using vok::test::TempDir;

namespace {

// A small language folder: a few Function parameters of a four-loop controller.
class DefinitionFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.write("AddContList.csv",
                  // A row whose name happens to be another key must not stand in for it.
                  "9,ALIAS,SV,40901,0,0,0,3,0,100,0,,\r\n"
                  "1,PV,Process value,30001,30002,30003,30004,1,0,0,1,C,\r\n"
                  "1,SV,Set value,40101,40102,40103,40104,1,-1999,9999,1,C,4A:100,4C:250,,,,,,,,,Set point,sv.bmp,"
                  "sv1.csv,,,,0,0,10,20,5,1,3\r\n"
                  "2,MODE,Control mode,40201,0,0,0,2,0,3,0,1:Auto,:0\r\n"
                  ",,1:Manual\r\n"
                  ",,2:Cascade\r\n"
                  ",,3:Off\r\n"
                  "2,SP2,Second set,40202,0,0,0,0,0,10,1,,:7,4C:9\r\n"
                  "1,NOTINMAIN,Unlisted,40300,0,0,0,3,0,1,0,\r\n"
                  "1,BAD,Bad register,99999,0,0,0,3,0,1,0,\r\n"
                  "5,UNITS,Unit,40401,40402,40403,40404,2,0,3,0,DegC,\r\n"
                  ",,DegF\r\n"
                  ",,%RangeUnit\r\n"
                  ",,K\r\n"
                  "6,CMD,Autotune,40501,40502,40503,40504,2,0,1,0,Off\r\n"
                  ",,Start\r\n");
        dir.write("FunctionList.csv",
                  "Function,,\r\n"
                  "Input,Basic,PV\r\n"
                  ",,SV\r\n"
                  ",Mode,MODE\r\n"
                  ",,SP2\r\n"
                  ",,MISSING\r\n"
                  "short,row\r\n");
        dir.write("sv1.csv", "5,7\r\n-3\r\n");
        dir.write("DownloadExclusion.csv", "condition,first,second\r\n40201,40202,40203\r\n");
        dir.write("PreDownload.csv", "40401,40402\r\n40403,40404\r\n");
    }
    TempDir dir;
};

} // namespace

TEST_F(DefinitionFolder, FindsRowsByKey)
{
    DefinitionTables t(dir.path());
    ParameterDefinition d;
    ASSERT_EQ(t.findDefinition(ListType::Function, "SV", d), kTableOk);
    EXPECT_EQ(d.group, 1);
    EXPECT_EQ(d.name, "Set value");
    EXPECT_EQ(d.registers, (std::array<std::uint16_t, 4>{40101, 40102, 40103, 40104}));
    EXPECT_FALSE(d.moduleWide);
    EXPECT_EQ(d.minimum, -1999);
    EXPECT_EQ(d.maximum, 9999);
    EXPECT_EQ(d.unitText, "C");
    EXPECT_EQ(d.defaultCount, 10);
    EXPECT_EQ(d.defaults[1].label, "4C");
    EXPECT_EQ(d.defaults[1].value, 250);
    EXPECT_EQ(d.comment, "Set point");
    EXPECT_EQ(d.extraText, "sv.bmp");
    ASSERT_TRUE(d.valueLists[0]);
    EXPECT_EQ(*d.valueLists[0], (std::vector<std::int32_t>{5, 7, -3}));
    EXPECT_FALSE(d.valueLists[1]);
    EXPECT_EQ(d.ranges[1], (std::pair<std::int32_t, std::int32_t>{10, 20}));
    EXPECT_EQ(d.channelLimit, 3);

    ASSERT_EQ(t.findDefinition(ListType::Function, "MODE", d), kTableOk);
    EXPECT_TRUE(d.moduleWide);
    EXPECT_EQ(d.choiceCount(), 4);
    EXPECT_EQ(d.choiceText(0), "1:Auto");
    EXPECT_EQ(d.choiceText(3), "3:Off");
    EXPECT_EQ(d.choiceText(4), "");

    EXPECT_EQ(t.findDefinition(ListType::Function, "NOPE", d), kTableKeyAbsent);
    EXPECT_EQ(t.findDefinition(ListType::Function, "BAD", d), kTableBadRow);
    EXPECT_TRUE(d.key.empty());
    EXPECT_EQ(t.findDefinition(ListType::Event, "PV", d), kTableCannotOpen);
}

TEST(ParseDefinition, BrokenRows)
{
    struct Case {
        const char* name;
        std::string row;
        int result;
    };
    const Case cases[] = {
        {"OnlyGroupAndKey", "3,K\r\n", kTableOk},
        {"NoKey", "3,\r\n", kTableBadRow},
        {"HugeFields", "1,K," + std::string(10000, 'n') + ",40001,0,0,0,0," + std::string(10000, '9') + "\r\n",
         kTableOk},
        {"NonNumericNumbers", "x,K,N,40001,0,0,0,abc,def,ghi,jkl\r\n", kTableOk},
        {"RegisterNotANumber", "1,K,N,4000x\r\n", kTableBadRow},
        {"NoCrLf", "1,K,N,40001", kTableOk},
    };
    for (const Case& c : cases) {
        ParameterDefinition d;
        EXPECT_EQ(parseDefinition(c.row, d), c.result) << c.name;
        if (c.result == kTableOk) {
            EXPECT_EQ(d.key, "K") << c.name;
            EXPECT_LE(d.name.size(), kNameLength) << c.name;
        }
    }
    // A choice list that runs past the end of the file, and maximum below minimum.
    ParameterDefinition d;
    EXPECT_EQ(parseDefinition("1,C,N,40001,0,0,0,2,0,9,0,zero\r\n,,one\r\n,,two", d), kTableOk);
    EXPECT_EQ(d.choices, (std::vector<std::string>{"one"}));
    EXPECT_EQ(parseDefinition("1,C,N,40001,0,0,0,2,5,1,0,zero\r\n,,one\r\n", d), kTableOk);
    EXPECT_TRUE(d.choices.empty());
    // Hexadecimal fields for dataType 4.
    EXPECT_EQ(parseDefinition("1,H,N,40001,0,0,0,4,0010,FFFF,0,,1A:00FF,,,,,,,,,,,,,,,,0,0,100,200\r\n", d), kTableOk);
    EXPECT_EQ(d.minimum, 16);
    EXPECT_EQ(d.maximum, 65535);
    EXPECT_EQ(d.defaults[0].value, 255);
    EXPECT_EQ(d.ranges[1], (std::pair<std::int32_t, std::int32_t>{0x100, 0x200}));
}

TEST(ParseDefinition, ValueListLimits)
{
    std::string many;
    for (int i = 0; i < 10000; ++i)
        many += std::to_string(i) + (i % 10 ? "," : "\r\n");
    EXPECT_EQ(parseValueList(many, false).size(), kValueListLimit);
    EXPECT_EQ(parseValueList("1F,ff\r\n", true), (std::vector<std::int32_t>{31, 255}));
    EXPECT_TRUE(parseValueList("", false).empty());
}

TEST_F(DefinitionFolder, RegisterMapsFromTheMainList)
{
    DefinitionTables t(dir.path());
    EXPECT_EQ(t.mainListKeys(ListType::Function), (std::vector<std::string>{"PV", "SV", "MODE", "SP2", "MISSING"}));
    t.buildRegisterMaps();
    const RegisterMaps& m = t.maps();
    EXPECT_EQ(m.inputMap[0][1], 1);
    EXPECT_EQ(m.inputMap[0][4], 1);
    EXPECT_EQ(m.holdingKind[0][101], 1);
    EXPECT_EQ(m.holdingChannel[0][104], 4);
    EXPECT_EQ(m.holdingKind[0][201], 55);
    EXPECT_EQ(m.holdingChannel[0][201], 1);
    EXPECT_EQ(m.holdingKind[0][300], 0) << "not in the main list";
    EXPECT_EQ(m.holdingKind[0][901], 0);
    EXPECT_EQ(m.holdingKind[1][101], 0) << "no event list in this folder";
}

TEST_F(DefinitionFolder, DefaultsByModelLabel)
{
    DefinitionTables t(dir.path());
    DataStore s;
    auto setModel = [&](int station, char letter) {
        s.stationPresent[station - 1] = 1;
        s.record(station - 1).identification[3] = static_cast<std::uint16_t>(letter);
    };
    setModel(1, 'A');
    setModel(2, 'C');
    setModel(3, 'B');
    t.applyDefaults(ListType::Function, s);
    std::uint16_t v = 0;
    s.getStoredValue(1, 40101, v);
    EXPECT_EQ(v, 100);
    s.getStoredValue(2, 40104, v);
    EXPECT_EQ(v, 250);
    s.getStoredValue(3, 40101, v);
    EXPECT_EQ(v, 0) << "no label fits model B";
    // SP2: an empty first label applies to every station, before a later matching label.
    for (int st : {1, 2, 3}) {
        s.getStoredValue(st, 40202, v);
        EXPECT_EQ(v, 7) << st;
    }
    s.getStoredValue(4, 40202, v);
    EXPECT_EQ(v, 0) << "absent stations get nothing";

    const std::uint16_t id[13] = {'V', 'O', 'K', 'C'};
    EXPECT_TRUE(defaultLabelMatches("4C", id));
    EXPECT_FALSE(defaultLabelMatches("0C", id));
    EXPECT_FALSE(defaultLabelMatches("4", id));
    EXPECT_FALSE(defaultLabelMatches("14C", id));
    EXPECT_FALSE(defaultLabelMatches("0000004C", id));
    EXPECT_FALSE(defaultLabelMatches("", id));

    ParameterDefinition longLabel;
    ASSERT_EQ(parseDefinition("1,K,N,40001,0,0,0,3,0,9,0,,0000004C:5\r\n", longLabel), kTableOk);
    EXPECT_FALSE(defaultLabelMatches(longLabel.defaults[0].label, id)) << "an 8-character label is not cut to fit";
}

TEST_F(DefinitionFolder, GroupKeepsOnlyListedKeys)
{
    DefinitionTables t(dir.path());
    auto g1 = t.loadGroup(ListType::Function, 1);
    EXPECT_EQ(g1.result, kTableBadRow) << "NOTINMAIN is dropped";
    ASSERT_EQ(g1.definitions.size(), 2u);
    EXPECT_EQ(g1.definitions[0].key, "PV");
    EXPECT_EQ(g1.definitions[1].key, "SV");
    auto g2 = t.loadGroup(ListType::Function, 2);
    EXPECT_EQ(g2.result, 2);
    EXPECT_EQ(t.loadGroup(ListType::Event, 1).result, kTableCannotOpen);
}

TEST_F(DefinitionFolder, SpecialRegistersFromTextTableKeys)
{
    TextTable texts;
    texts.loadFromBytes("202,SV\r\n203,UNITS\r\n215,SP2\r\n226,CMD\r\n", std::nullopt);
    DefinitionTables t(dir.path());
    t.loadSpecialRegisters(texts);
    const SpecialRegisters& sp = t.specials();
    EXPECT_TRUE(sp.row(SpecialRole::DecimalPoint).found);
    EXPECT_EQ(sp.reg(SpecialRole::DecimalPoint, 2), 40103);
    EXPECT_FALSE(sp.row(SpecialRole::RangeUpper).found);
    EXPECT_EQ(sp.reg(SpecialRole::RangeUpper, 0), 0);
    EXPECT_EQ(sp.unitNames, (std::array<std::string, 4>{"DegC", "DegF", "%RangeUn", "K"}));
    EXPECT_EQ(sp.commandMonitor[3][0], 40504);
    EXPECT_EQ(sp.commandMonitor[3][1], 0);
    EXPECT_EQ(t.exclusions()[0].condition, 40201);
    EXPECT_EQ(t.exclusions()[0].second, 40203);
    EXPECT_EQ(t.exclusions()[1].condition, 0);
    EXPECT_EQ(t.preDownload()[3], 40404);
    EXPECT_EQ(t.preDownload()[4], 0);
    EXPECT_EQ(specialRoleTextId(SpecialRole::Command4), 229);
    EXPECT_EQ(specialRoleTextId(SpecialRole::Presence), 240);
    EXPECT_EQ(specialRoleTextId(SpecialRole::FourthSetting), 242);
}

TEST(DefinitionTables, PathsByListType)
{
    DefinitionTables t("./file/language3");
    std::string p;
    EXPECT_EQ(t.listFilePath(ListType::Event, p), 0);
    EXPECT_EQ(p, "./file/language3/EventList.csv");
    EXPECT_EQ(t.listFilePath(static_cast<ListType>(8), p), -2);
    EXPECT_EQ(t.addListFilePath(static_cast<ListType>(9), p), -2);
    EXPECT_STREQ(t.addListName(ListType::Favorite, 1), "AddEventList.csv");
    EXPECT_STREQ(t.addListName(ListType::Favorite, 3), "AddAnalogList.csv");
    DefinitionTables com("x", 1);
    EXPECT_STREQ(com.addListName(ListType::Favorite, 3), "AddComList.csv");
}
