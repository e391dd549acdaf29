// The sample language folders: consistent, and in step with their generator.

#include "definitions.h"
#include "foldercheck.h"
#include "store.h"
#include "testutil.h"
#include "textcodec.h"
#include "texttable.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

namespace {

const std::string kSample = VOK_SOURCE_DIR "/sample/file";

class SampleFolder : public ::testing::TestWithParam<const char*> {
protected:
    std::string folder() const { return kSample + "/" + GetParam(); }
};

} // namespace

TEST_P(SampleFolder, PassesTheConsistencyCheck)
{
    const auto problems = vok::checkLanguageFolder(folder());
    for (const std::string& p : problems)
        ADD_FAILURE() << p;
}

TEST_P(SampleFolder, MapsAControlStationWellOverAThousandRegisters)
{
    vok::DefinitionTables t(folder());
    t.buildRegisterMaps();
    int holding = 0, event = 0;
    for (int i = 0; i < 10000; ++i) {
        holding += t.maps().holdingKind[0][i] != 0;
        event += t.maps().holdingKind[1][i] != 0;
    }
    EXPECT_GT(holding, 1000);
    EXPECT_GT(event, 50);
}

INSTANTIATE_TEST_SUITE_P(Languages, SampleFolder, ::testing::Values("language1", "language2"));

TEST(SampleFolders, EncodingsAndSharedKeys)
{
    auto english = vok::readWholeFile(kSample + "/language1/NameStringTBL.csv");
    auto japanese = vok::readWholeFile(kSample + "/language2/NameStringTBL.csv");
    ASSERT_TRUE(english && japanese);
    EXPECT_EQ(vok::detectEncoding(english->view()), vok::TextEncoding::Utf8);
    EXPECT_EQ(vok::detectEncoding(japanese->view()), vok::TextEncoding::ShiftJis);
    vok::TextTable a, b;
    a.loadFromBytes(english->view(), std::nullopt);
    b.loadFromBytes(japanese->view(), std::nullopt);
    for (int id = 200; id <= 242; ++id) {
        if (id != 230) { // the "no item" entry is a wording, the rest are keys
            EXPECT_EQ(a.slot(id), b.slot(id)) << "keys are the same in every language: " << id;
        }
    }
    EXPECT_EQ(vok::decodeText(b.text(98)), QString::fromUtf8("キャンセル"));
}

TEST(FolderCheck, FindsBrokenFolders)
{
    struct Case {
        const char* name;
        std::function<void(const std::string&)> breakIt;
        const char* expect; // a part of the problem text
    };
    auto replaceIn = [](const std::string& path, const std::string& from, const std::string& to) {
        std::string text = vok::test::readFile(path);
        auto at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    };
    const Case cases[] = {
        {"UnresolvedKey", [&](const std::string& f) { replaceIn(f + "/FunctionList.csv", ",,SVL\r\n", ",,SVX\r\n"); },
         "key SVX is not resolved"},
        {"RegisterOutOfBlock", [&](const std::string& f) { replaceIn(f + "/AddContList.csv", ",SV,Set value,41", ",SV,Set value,42"); },
         "outside the block"},
        {"ShortChoiceList", [&](const std::string& f) { replaceIn(f + "/AddContList.csv", ",,2:Two decimals\r\n", ""); },
         "too few choice lines"},
        {"MissingPicture", [](const std::string& f) { std::filesystem::remove(f + "/BMP/GRP-INPUT.bmp"); }, "GRP-INPUT.bmp"},
        {"MissingModulePicture", [](const std::string& f) { std::filesystem::remove(f + "/BMP/BMP-InfEVNT.bmp"); }, "BMP-InfEVNT.bmp"},
        {"MissingText", [&](const std::string& f) { replaceIn(f + "/NameStringTBL.csv", "\r\n100,", "\r\n100x,"); }, "no text 100"},
        {"MissingSpecialRow", [&](const std::string& f) { replaceIn(f + "/AddContList.csv", ",CONCHK,", ",CONCHQ,"); },
         "connection-check register"},
        {"NoFinalCrLf", [](const std::string& f) {
             std::string t = vok::test::readFile(f + "/EventList.csv");
             std::ofstream(f + "/EventList.csv", std::ios::binary | std::ios::trunc) << t.substr(0, t.size() - 2);
         }, "EventList.csv does not end with CR LF"},
        {"UnknownFavourite", [&](const std::string& f) { replaceIn(f + "/Favorite.csv", "Process value", "Processed value"); },
         "Processed value"},
    };
    for (const Case& c : cases) {
        vok::test::TempDir dir;
        std::filesystem::copy(kSample + "/language1", dir.path() + "/lang", std::filesystem::copy_options::recursive);
        c.breakIt(dir.path() + "/lang");
        const auto problems = vok::checkLanguageFolder(dir.path() + "/lang");
        bool found = false;
        for (const auto& p : problems)
            found = found || p.find(c.expect) != std::string::npos;
        EXPECT_TRUE(found) << c.name << ": " << (problems.empty() ? "no problem found" : problems.front());
    }
}

TEST(SampleFolders, GeneratorOutputIsCommitted)
{
    if (std::system("python3 --version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 is not installed";
    vok::test::TempDir dir;
    const std::string cmd = "python3 " VOK_SOURCE_DIR "/scripts/datakit/generate.py --no-jpeg " + dir.path() + " > /dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    int compared = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
        if (!entry.is_regular_file())
            continue;
        const auto rel = std::filesystem::relative(entry.path(), dir.path()).string();
        EXPECT_EQ(vok::test::readFile(entry.path().string()), vok::test::readFile(kSample + "/" + rel))
            << rel << " differs from the generator's output: run scripts/datakit/generate.py";
        ++compared;
    }
    EXPECT_GT(compared, 40);
}
