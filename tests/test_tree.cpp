// The parameter tree from small lists, favourites and hidden marks, and the parameter view.

#include "loadercore.h"
#include "mainframe.h"
#include "paramtree.h"
#include "storeutil.h"
#include "testutil.h"
#include "textcodec.h"
#include "vokview.h"

#include <QApplication>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>

using vok::test::TempDir;

namespace {

// A folder with a Function section and favourites: small lists that show the rules.
class TreeFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.write("NameStringTBL.csv", "122,Parameters\r\n125,Full\r\n158,Control\r\n159,Event\r\n160,Analog\r\n"
                                       "161,Control page\r\n162,Event page\r\n163,Analog page\r\n169,AI\r\n170,AO\r\n"
                                       "171,AI page\r\n172,AO page\r\n");
        dir.write("AddContList.csv", "1,PV,Process value,31001,32001,33001,34001,1,0,0,0,C\r\n"
                                     "1,SV,Set value,41001,42001,43001,44001,1,0,0,0,C\r\n"
                                     "2,P,Proportional band,41002,42002,43002,44002,7,0,1000,1,%\r\n"
                                     "2,MODE,Mode,40001,0,0,0,2,0,1,0,0:Auto\r\n,,1:Manual\r\n");
        dir.write("FunctionList.csv", "// a comment line\r\n"
                                      ",,\r\n"            // the caption: empty, so "Common"
                                      ",,PV\r\n"          // an item before any page: RootError
                                      "Input,Monitor,PV\r\n"
                                      ",,NOKEY\r\n"       // not resolved: nothing
                                      "Control,,\r\n"
                                      ",,SV\r\n"          // after a group line: the previous group's page
                                      ",Tuning,P\r\n"
                                      ",,MODE\r\n");
        dir.write("Favorite.csv", "Favourites,,\r\nControl,Control page,Set value\r\n,,Mode\r\nEvent,Event page,\r\n");
    }
    std::unique_ptr<tree::ParameterTree> makeTree()
    {
        texts.load(dir.path(), "");
        tables = std::make_unique<vok::DefinitionTables>(dir.path(), 0);
        auto t = std::make_unique<tree::ParameterTree>(*tables, texts, 0);
        t->onMessage = [this](const std::string& m) { messages.push_back(m); };
        t->onTextMessage = [this](int id) { messages.push_back(std::to_string(id)); };
        return t;
    }
    TempDir dir;
    vok::TextTable texts;
    std::unique_ptr<vok::DefinitionTables> tables;
    std::vector<std::string> messages;
};

} // namespace

TEST_F(TreeFolder, BuildsSectionsGroupsPagesAndItems)
{
    auto t = makeTree();
    t->build();
    EXPECT_EQ(t->render(), "Parameters\n"
                           "  Favourites\n"
                           "    1:Control\n"
                           "      1:Control page\n"
                           "        1:Set value\n"
                           "        2:Mode\n"
                           "    2:Event\n"
                           "      1:Event page\n"
                           "  Common\n"
                           "    1:Input\n"
                           "      1:Monitor\n"
                           "        1:Process value\n"
                           "        2:Set value\n"
                           "    2:Control\n"
                           "      1:Tuning\n"
                           "        1:Proportional band\n"
                           "        2:Mode\n");
    EXPECT_EQ(messages, (std::vector<std::string>{"RootError"}));
    EXPECT_EQ(t->node(t->firstFavouritePage()).text(), "1:Control page");

    tree::Page page;
    ASSERT_TRUE(t->loadPage(t->firstFavouritePage(), page));
    EXPECT_EQ(page.title, "1:Control page");
    ASSERT_EQ(page.definitions.size(), 2u);
    EXPECT_EQ(page.definitions[1].key, "MODE");
    EXPECT_FALSE(t->loadPage(0, page)) << "the root is not a page";
}

TEST_F(TreeFolder, LimitsOfPagesAndItems)
{
    std::string list = "Many,,\r\nG,,\r\n";
    for (int i = 1; i <= 100; ++i)
        list += ",Page" + std::to_string(i) + ",\r\n";
    for (int i = 1; i <= 201; ++i)
        list += ",,PV\r\n";
    dir.write("FunctionList.csv", list);
    auto t = makeTree();
    t->build();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "RootOverError"), 2) << "the 100th page and the 201st item";
    const std::string text = t->render();
    EXPECT_NE(text.find("99:Page99"), std::string::npos);
    EXPECT_EQ(text.find("Page100"), std::string::npos);
    EXPECT_NE(text.find("200:Process value"), std::string::npos);
    EXPECT_EQ(text.find("201:Process value"), std::string::npos);
}

TEST_F(TreeFolder, FavouritesAddRemoveAndRenumber)
{
    auto t = makeTree();
    t->build();
    auto find = [&](const std::string& text, int section) {
        for (std::size_t i = 0; i < t->nodes().size(); ++i) {
            if (t->nodes()[i].level == 4 && t->nodes()[i].section == section && t->nodes()[i].text() == text)
                return static_cast<int>(i);
        }
        return -1;
    };
    // Process value of the Function section goes to the control favourites as item 3.
    const int page = t->toggleFavourite(find("1:Process value", 1));
    EXPECT_EQ(page, t->firstFavouritePage());
    EXPECT_NE(find("3:Process value", 0), -1);
    // Removing the second of three renumbers the third.
    t->toggleFavourite(find("2:Mode", 0));
    EXPECT_NE(find("2:Process value", 0), -1);
    std::string error;
    ASSERT_TRUE(t->saveFavourites(&error)) << error;
    EXPECT_EQ(vok::test::readFile(dir.file("Favorite.csv")),
              "Favourites,,\r\nControl,Control page,Set value\r\n,,Process value\r\nEvent,Event page,\r\n");
}

TEST_F(TreeFolder, HiddenMarkSurvivesARestartAndLeavesThePage)
{
    auto t = makeTree();
    t->build();
    const int page = t->firstFavouritePage();
    const int mode = t->node(page).children[1];
    t->toggleHidden(mode);
    tree::Page p;
    t->loadPage(page, p);
    EXPECT_EQ(p.definitions.size(), 1u);
    ASSERT_TRUE(t->saveHiddenMarks());
    EXPECT_EQ(std::filesystem::file_size(dir.file("View_FlgArea.fil")), 64000u);

    auto again = makeTree();
    again->loadHiddenMarks();
    again->build();
    EXPECT_NE(again->render().find("2:Mode [hidden]"), std::string::npos);

    // A short or corrupt file clears the sections it does not cover.
    dir.write("View_FlgArea.fil", std::string(100, '\x01'));
    auto corrupt = makeTree();
    corrupt->loadHiddenMarks();
    corrupt->build();
    EXPECT_EQ(corrupt->render().find("[hidden]"), std::string::npos);
}

TEST(View, ColumnsPerSectionAndCellStates)
{
    vok::NullReporter reporter;
    LoaderCore core(reporter);
    core.settings.workingDir = VOK_SOURCE_DIR "/sample";
    core.loadSettingsAndTexts();
    core.loadDefinitions(0);
    vok::DataStore& store = core.store;
    auto define = [&](int station, const char* code) { vok::test::defineStation(store, station, code); };
    define(1, "VOKA112N01000");
    define(2, "VOKB200N01R00");
    for (int s : {17, 19, 20})
        define(s, "VOKE100N01000");
    store.rebuildChannelLists();

    CVokView view(core);
    view.resize(1000, 400);
    tree::Page events;
    events.section = 2;
    vok::ParameterDefinition filter;
    core.tables->findDefinition(vok::ListType::Event, "EI1T", filter);
    events.definitions = {filter};
    view.showPage(events, false);
    EXPECT_EQ(view.columnCount(), 3);
    EXPECT_EQ(view.headerText(1), "19");
    EXPECT_FALSE(view.horizontal()->isEnabled());

    tree::Page control;
    control.section = 1;
    vok::ParameterDefinition sv, cooling;
    core.tables->findDefinition(vok::ListType::Function, "SV", sv);
    core.tables->findDefinition(vok::ListType::Function, "PC", cooling); // channels 3 and 4 not on model B
    control.definitions = {sv, cooling};
    view.showPage(control, false);
    EXPECT_EQ(view.columnCount(), 8);
    EXPECT_EQ(view.headerText(5), "2 - ch2");
    store.setStoredValue(1, core.tables->specials().reg(vok::SpecialRole::DecimalPoint, 0), 1);
    store.setStoredValue(1, sv.registers[0], 1234);
    store.markEdited(0, sv.registers[0]);
    store.setCommError(0, sv.registers[1], 1);
    EXPECT_EQ(view.cellText(0, 0), "123.4");
    EXPECT_TRUE(view.cellEdited(0, 0));
    EXPECT_EQ(view.cellText(0, 1), "-");
    EXPECT_EQ(view.cellText(0, 2), "-") << "a later channel of a failed one shows the same";
    EXPECT_FALSE(view.cellEdited(0, 4));
    EXPECT_EQ(view.cellText(1, 6), "") << "model B has no cooling on channel 3";
    EXPECT_NE(view.cellText(1, 5), "");
    store.stationPresent[1] = 0;
    EXPECT_EQ(view.cellText(0, 4), "") << "a station that is not defined is blank";
}

TEST(View, StatusTextAfterAFailedRequest)
{
    TempDir dir;
    qputenv("VOK_PROFILE", dir.file("p.ini").c_str());
    CMainFrame frame;
    std::uint16_t v = 0;
    frame.core().master->readRegisters(nullptr, 1, 2, &v, 40001);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    while (std::chrono::steady_clock::now() < end)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(frame.statusText().startsWith("Offline:"));
    EXPECT_GT(frame.statusText().size(), QString("Offline:").size()) << "followed by text 121";
    frame.core().quitWithoutAsking = true;
}

TEST(SampleTree, EveryFamilyBuildsWithoutComplaint)
{
    for (const char* language : {"language1", "language2"}) {
        const std::string folder = std::string(VOK_SOURCE_DIR "/sample/file/") + language;
        vok::TextTable texts;
        texts.load(folder, "");
        for (int family = 0; family <= 2; ++family) {
            vok::DefinitionTables tables(folder, family);
            tree::ParameterTree t(tables, texts, family);
            std::vector<std::string> messages;
            t.onMessage = [&](const std::string& m) { messages.push_back(m); };
            t.build();
            EXPECT_TRUE(messages.empty()) << language << " family " << family;
            const int sections = family == 0 ? 6 : 2;
            EXPECT_EQ(static_cast<int>(t.node(0).children.size()), sections) << language << " family " << family;
            tree::Page page;
            ASSERT_TRUE(t.loadPage(t.firstFavouritePage(), page)) << language << " family " << family;
            EXPECT_GE(page.definitions.size(), 3u) << "every favourite of the sample is found by name";
        }
    }
}

// The search finds by any part of a name or key, in the folder's own language, and tells
// the page row of each match; a hidden item is found and says so.
TEST(SampleTree, SearchFindsNamesAndKeysInBothLanguages)
{
    struct Case {
        const char* language;
        const char* text;
    };
    const Case cases[] = {{"language1", "hysteresis"}, {"language2", "ヒステリシス"}, {"language1", "al1H"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.language) + " " + c.text);
        const std::string folder = std::string(VOK_SOURCE_DIR "/sample/file/") + c.language;
        vok::TextTable texts;
        texts.load(folder, "");
        vok::DefinitionTables tables(folder, 0);
        tree::ParameterTree t(tables, texts, 0);
        t.build();
        const auto hits = t.search(QString::fromUtf8(c.text));
        ASSERT_FALSE(hits.empty());
        for (const tree::SearchHit& h : hits) {
            tree::Page page;
            ASSERT_TRUE(t.loadPage(h.page, page));
            ASSERT_LT(h.row, static_cast<int>(page.definitions.size()));
            EXPECT_EQ(vok::decodeText(page.definitions[static_cast<std::size_t>(h.row)].name).trimmed(), h.name);
            EXPECT_TRUE(h.name.contains(QString::fromUtf8(c.text), Qt::CaseInsensitive)
                        || h.key.contains(QString::fromUtf8(c.text), Qt::CaseInsensitive));
        }
        EXPECT_TRUE(std::any_of(hits.begin(), hits.end(), [](const tree::SearchHit& h) { return h.key == "AL1h"; }));
    }

    const std::string folder = VOK_SOURCE_DIR "/sample/file/language1";
    vok::TextTable texts;
    texts.load(folder, "");
    vok::DefinitionTables tables(folder, 0);
    tree::ParameterTree t(tables, texts, 0);
    t.build();
    const auto before = t.search(QStringLiteral("Alarm 1 "));
    ASSERT_GE(before.size(), 3u);
    t.toggleHidden(before[0].item);
    const auto after = t.search(QStringLiteral("Alarm 1 "));
    EXPECT_TRUE(after[0].hidden);
    EXPECT_EQ(after[0].row, -1);
    EXPECT_EQ(after[1].row, before[1].row - 1) << "the rows after it move up";
    EXPECT_TRUE(t.search(QStringLiteral("  ")).empty());
}
