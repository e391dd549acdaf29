#include "texttable.h"
#include "testutil.h"

#include <gtest/gtest.h>

using vok::TextTable;

namespace {

struct Expect {
    int id;
    std::string text;
};

struct TableCase {
    const char* name;
    std::string table;
    std::vector<Expect> expect;
};

// Looks a text up by whichever range its id belongs to.
std::string lookup(const TextTable& t, int id)
{
    if (id >= TextTable::kFirstNamed)
        return t.named(id);
    if (id >= TextTable::kFirstSlot)
        return t.slot(id);
    return t.text(id);
}

class TextTableCases : public ::testing::TestWithParam<TableCase> {};

TEST_P(TextTableCases, Lookup)
{
    TextTable t;
    t.loadFromBytes(GetParam().table, std::nullopt);
    for (const Expect& e : GetParam().expect)
        EXPECT_EQ(lookup(t, e.id), e.text) << "id " << e.id;
}

INSTANTIATE_TEST_SUITE_P(
    Table, TextTableCases,
    ::testing::Values(
        TableCase{"LastLineWithoutCrLfIsMissing", "1,File\r\n2,Setup", {{1, "File"}, {2, ""}}},
        TableCase{"CommasBelongToTheText", "7,a,b,,c\r\n", {{7, "a,b,,c"}}},
        TableCase{"EmptyTextIsMissing", "11,x\r\n12,\r\n13,y\r\n", {{11, "x"}, {12, ""}, {13, "y"}}},
        TableCase{"IdBeforeASmallerOneIsMissing", "18,a\r\n20,b\r\n19,c\r\n", {{18, "a"}, {19, "c"}, {20, ""}}},
        TableCase{"IdZeroAndOutOfRange", "0,zero\r\n176,no\r\n", {{0, ""}, {176, ""}, {-3, ""}}},
        // A missing id must not match the tail of a larger one ("2," inside "12,").
        TableCase{"KeyOnlyAtLineStart", "1,a\r\n12,twelve\r\n13,x 14,y\r\n14,z\r\n",
                  {{1, "a"}, {2, ""}, {12, "twelve"}, {13, "x 14,y"}, {14, "z"}}},
        TableCase{"PassesContinueForwardOnly", "100,late\r\n99,early\r\n", {{99, "early"}, {100, ""}}},
        TableCase{"UnreadRanges", "175,last\r\n180,gap\r\n236,gap\r\n241,key\r\n272,gap\r\n",
                  {{175, "last"}, {241, "key"}, {272, ""}}},
        TableCase{"SlotsCutAt63", "200," + std::string(70, 'k') + "\r\n", {{200, std::string(63, 'k')}}},
        TableCase{"NamedTextsNotCut", "250," + std::string(300, 'n') + "\r\n", {{250, std::string(300, 'n')}}},
        TableCase{"LaterIdsReplaceEarlierPlaces", "281,a\r\n282,b\r\n284,c\r\n",
                  {{281, "c"}, {282, "b"}, {284, "c"}, {283, ""}}},
        TableCase{"NulEndsAText", std::string("3,ab\0cd\r\n4,e\r\n", 15), {{3, "ab"}, {4, "e"}}},
        TableCase{"InvalidUtf8KeptAsBytes", "5,\xff\xfe\x81\r\n", {{5, "\xff\xfe\x81"}}},
        TableCase{"HugeLine", "1," + std::string(100000, 'x') + "\r\n2,b\r\n", {{1, std::string(100000, 'x')}, {2, "b"}}}),
    [](const auto& info) { return info.param.name; });

TEST(TextTable, TrendItemSlotsTranslatedThroughAddContList)
{
    TextTable t;
    const std::string table = "231,PV\r\n232,SV\r\n233,MV\r\n234,Absent\r\n";
    const std::string addCont = "FN001,PV,Process value,40001\r\nFN002,SV," + std::string(80, 'S') + "\r\nMV,MV\r\n";
    t.loadFromBytes(table, addCont);
    EXPECT_EQ(t.slot(231), "Process value");
    EXPECT_EQ(t.slot(232), std::string(63, 'S'));
    EXPECT_EQ(t.slot(233), "MV") << "needs a comma before the name";
    EXPECT_EQ(t.slot(234), "Absent");

    TextTable without;
    without.loadFromBytes(table, std::nullopt);
    EXPECT_EQ(without.slot(231), "PV");
}

TEST(TextTable, LoadCopiesForTrendAndToleratesMissingFile)
{
    vok::test::TempDir dir;
    dir.write("lang/NameStringTBL.csv", "1,File\r\n231,PV\r\n");
    dir.write("lang/AddContList.csv", "X,PV,Measured\r\n");
    TextTable t;
    EXPECT_TRUE(t.load(dir.file("lang"), dir.file("NameStringTBL_trd.csv")));
    EXPECT_EQ(t.text(1), "File");
    EXPECT_EQ(t.slot(231), "Measured");
    EXPECT_EQ(vok::test::readFile(dir.file("NameStringTBL_trd.csv")), "1,File\r\n231,PV\r\n");

    TextTable missing;
    EXPECT_FALSE(missing.load(dir.file("nowhere"), dir.file("copy.csv")));
    EXPECT_EQ(missing.text(1), "");
}

TEST(TrendTextTable, ReadsUpTo149)
{
    vok::TrendTextTable t;
    t.loadFromBytes("1,File\r\n149,last\r\n150,beyond\r\n");
    EXPECT_EQ(t.text(1), "File");
    EXPECT_EQ(t.text(149), "last");
    EXPECT_EQ(t.text(150), "");
}

} // namespace
