// Editing one value without windows: conversion, limits, writability, the prompt, the code
// entries, and the write with its follow-ups, offline in the store and online on the
// simulated line.

#include "editing.h"
#include "undo.h"
#include "simfixture.h"
#include "workers.h"

#include <gtest/gtest.h>

using namespace vok;
using vok::test::SimulatedLine;

namespace {

const char* kCodeA = "VOKA112N01000";

ParameterDefinition def(int type, int decimals = 0, double min = 0, double max = 0)
{
    ParameterDefinition d;
    d.dataType = type;
    d.decimals = decimals;
    d.minimum = min;
    d.maximum = max;
    d.key = "K";
    d.registers = {41500, 42500, 43500, 44500};
    return d;
}

} // namespace

TEST(Convert, TypedTextByDataType)
{
    struct Case {
        const char* text;
        int type;
        int decimals;
        int channelDecimals;
        bool percent;
        std::int64_t raw;
    };
    const Case cases[] = {
        {"12.34", 0, 1, 0, false, 123},  // truncated toward zero
        {"-0.5", 0, 1, 0, false, -5},
        {"0.29", 0, 2, 0, false, 29},    // not 28: the float's error is not the user's
        {" 12.5xyz", 0, 1, 0, false, 125}, // as atof reads it
        {"abc", 0, 1, 0, false, 0},
        {"1e2", 0, 0, 0, false, 100},
        {"12.34", 1, 0, 1, false, 123},  // the channel's decimal point
        {"12.5", 8, 1, 0, true, 125},    // percent mode: the definition's decimals
        {"07:30", 5, 0, 0, false, 730},
        {"7:05", 5, 0, 0, false, 705},
        {"12:3", 5, 0, 0, false, 1203},  // 12 hours 3 minutes, not 1:23
        {"7:60", 5, 0, 0, false, -1},
        {"1230", 5, 0, 0, false, -1},    // no colon
        {"0101", 6, 0, 0, false, 5},
        {"101", 6, 0, 0, false, 16},
        {"BEEF", 4, 0, 0, false, 0xBEEF},
        {"-5", 3, 0, 0, false, -1},
        {"65536", 3, 0, 0, false, 65536},
    };
    for (const Case& c : cases)
        EXPECT_EQ(edit::convert(c.text, c.type, c.decimals, c.channelDecimals, c.percent), c.raw) << c.text << " type " << c.type;
    EXPECT_FALSE(edit::convert("1", 2, 0, 0, false)) << "a choice is not typed";

    // A number too large for its word is refused rather than wrapped.
    EXPECT_TRUE(edit::fitsWord(-32768, 0, false));
    EXPECT_FALSE(edit::fitsWord(40000, 0, false));
    EXPECT_TRUE(edit::fitsWord(40000, 3, false));
    EXPECT_FALSE(edit::fitsWord(65536, 4, false));
    EXPECT_FALSE(edit::fitsWord(-1, 5, false));
}

// A channel of station 1 with its defining registers, as in the sample folder.
class EditChannel : public ::testing::Test {
protected:
    void SetUp() override
    {
        texts.load(vok::test::kSampleLanguage, "");
        tables.loadSpecialRegisters(texts);
        tables.buildRegisterMaps();
        store.stationPresent[0] = 1;
        for (int i = 0; i < 13; ++i)
            store.record(0).identification[i] = static_cast<unsigned char>(kCodeA[i]);
        tables.applyDefaults(ListType::Function, store);
        editor.onRefused = [this](int id) { refused.push_back(id); };
        editor.onWriteFailed = [this](int id, int rc) { failed.push_back({id, rc}); };
        editor.openCommunication = [this](int station, int channel, int row) { windows.push_back({station, channel, row}); };
        editor.beforeOfflineChange = [this](int) { ++before; };
        editor.afterOfflineChange = [this](int, const char*) { ++after; };
    }
    ParameterDefinition find(const char* key)
    {
        ParameterDefinition d;
        EXPECT_EQ(tables.findDefinition(ListType::Function, key, d), kTableOk) << key;
        return d;
    }
    int value(const ParameterDefinition& d, int channel = 0)
    {
        std::uint16_t v = 0;
        store.getStoredValue(channel / 4 + 1, d.registers[channel % 4], v);
        return static_cast<std::int16_t>(v);
    }
    void set(const ParameterDefinition& d, int v, int channel = 0)
    {
        store.setStoredValue(channel / 4 + 1, d.registers[channel % 4], static_cast<std::uint16_t>(v));
    }
    edit::Editor::Result commit(const ParameterDefinition& d, const char* text, edit::Mode mode = edit::Mode::View)
    {
        const ValueFormatter f = editor.formatter();
        const bool percent = edit::percentMode(f, 0, d);
        const auto raw = edit::convert(text, d.dataType, d.decimals, f.channelDecimals(0, d.decimals), percent);
        return editor.commitValue(0, d, static_cast<std::uint16_t>(value(d)), *raw, mode);
    }

    TextTable texts;
    DefinitionTables tables{vok::test::kSampleLanguage};
    DataStore store;
    CommSettings settings;
    NullReporter reporter;
    Link link{settings, reporter};
    ModbusMaster master{link};
    TransferContext ctx{master, store, tables, reporter};
    Workers workers{ctx};
    edit::Editor editor{store, tables, workers, settings};
    std::vector<int> refused;
    std::vector<std::pair<int, int>> failed;
    std::vector<std::array<int, 3>> windows;
    int before = 0, after = 0;
};

TEST_F(EditChannel, WritabilityOfInputAndRangeRegisters)
{
    const ParameterDefinition pv = find("PV"), rangeUpper = find("RNGH"), sv = find("SV"), inputType = find("INTYP");
    EXPECT_EQ(edit::refusal(store, tables.specials(), 0, pv), 115) << "an input register is read-only";
    EXPECT_EQ(edit::refusal(store, tables.specials(), 0, sv), 0);
    for (auto [type, refusal] : {std::pair{0, 115}, {20, 115}, {21, 0}, {30, 0}}) {
        set(inputType, type);
        EXPECT_EQ(edit::refusal(store, tables.specials(), 0, rangeUpper), refusal) << "input type " << type;
        EXPECT_EQ(edit::refusal(store, tables.specials(), 1, rangeUpper), 115) << "channel 2 keeps its own type 0";
    }
}

TEST_F(EditChannel, PromptByDataType)
{
    const ParameterDefinition sv = find("SV"), p = find("P"), pvf = find("PVF"), al1 = find("AL1"), cyc = find("CYC");
    set(find("DP"), 1);
    set(find("RNGL"), 0);
    set(find("RNGH"), 4000);
    set(find("SVL"), 100);
    set(find("SVH"), 900);
    set(find("UNIT"), 1);
    const ValueFormatter f = editor.formatter();
    auto prompt = [&](const ParameterDefinition& d) { return edit::rangePrompt(f, tables.specials(), texts, 0, d); };
    EXPECT_EQ(prompt(sv), "10.0 to 90.0 degF") << "the limited value's limits, the channel's unit";
    EXPECT_EQ(prompt(pvf), "0.0 to 900.0 s");
    EXPECT_EQ(prompt(cyc), "1 to 150 s");
    EXPECT_EQ(prompt(p), "0.0  to  400.0 degF") << "percent of the span as reals";
    set(find("AL1TYP"), 7); // deviation: minus to plus span
    EXPECT_EQ(prompt(al1), "-400.0 to 400.0 degF");
    set(find("AL1TYP"), 37); // a -30 pair: percent mode
    EXPECT_TRUE(edit::percentMode(f, 0, al1));
    EXPECT_EQ(prompt(al1), "-3.0  to  103.0 %");
}

TEST_F(EditChannel, CodeEntriesAndPreselection)
{
    const ValueFormatter f = editor.formatter();
    ParameterDefinition d = def(2, 0, 0, 3);
    d.choices = {"1:a", "2:b", "3:c"};
    EXPECT_EQ(edit::codeEntryCount(f, tables.specials(), d, 0, "DP"), 4);
    d.minimum = 1;
    EXPECT_EQ(edit::codeEntryCount(f, tables.specials(), d, 0, "DP"), 3);
    EXPECT_EQ(edit::codePreselection(d, 9, 3), 0) << "above the maximum: the first entry";
    EXPECT_EQ(edit::codePreselection(d, 2, 3), 2);
    EXPECT_EQ(edit::codePreselection(d, 3, 3), -1) << "a value the list does not reach: none";

    // The decimal point offers the positions the input type and unit allow.
    const ParameterDefinition dp = find("DP");
    for (auto [type, unit, entries] : {std::tuple{0, 0, 2}, {1, 1, 1}, {9, 0, 1}, {25, 0, 3}}) {
        set(find("INTYP"), type);
        set(find("UNIT"), unit);
        EXPECT_EQ(edit::codeEntryCount(f, tables.specials(), dp, 0, "DP"), entries) << type << " " << unit;
    }
}

TEST_F(EditChannel, OfflineValueIsStoredMarkedAndItsChannelFollows)
{
    const ParameterDefinition inputType = find("INTYP"), rangeUpper = find("RNGH"), sv = find("SV"), p = find("P");
    set(find("DP"), 0);
    set(inputType, 21); // a linear input: the range is free
    set(find("RNGL"), 0);
    set(rangeUpper, 1000);
    set(find("SVH"), 1000);
    set(sv, 500);
    set(p, 100);
    store.clearEditedFlags();
    EXPECT_EQ(commit(rangeUpper, "2000"), edit::Editor::Result::Accepted);
    EXPECT_EQ(value(rangeUpper), 2000);
    EXPECT_EQ(value(sv), 1000) << "a set value follows the range";
    EXPECT_EQ(value(p), 200) << "a percentage of the span follows it";
    EXPECT_TRUE(store.isEdited(0, rangeUpper.registers[0]));
    EXPECT_TRUE(store.isEdited(0, sv.registers[0]));
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 1) << "one step with its dependent update";
    EXPECT_TRUE(windows.empty()) << "offline: no window";

    // A register that defines nothing changes itself only.
    const ParameterDefinition pvf = find("PVF");
    EXPECT_EQ(commit(pvf, "12.34"), edit::Editor::Result::Accepted);
    EXPECT_EQ(value(pvf), 123);
}

// A range change with its rescaled registers is one step: undone, every register and flag of
// the station is as before; redone, as after.
TEST_F(EditChannel, UndoAndRedoOfARangeChangeWithItsRescaling)
{
    UndoHistory history(store);
    editor.beforeOfflineChange = [&](int s) { history.begin({s}); };
    editor.afterOfflineChange = [&](int, const char* what) { history.commit(what); };
    const ParameterDefinition rangeUpper = find("RNGH"), sv = find("SV");
    set(find("DP"), 0);
    set(find("INTYP"), 21);
    set(find("RNGL"), 0);
    set(rangeUpper, 1000);
    set(find("SVH"), 1000);
    set(sv, 500);
    store.clearEditedFlags();
    store.markEdited(0, 41500);     // an edit from before stays an edit
    store.setCommError(0, 41600, 1); // and a failure stays one
    auto image = [&] {
        std::vector<std::uint32_t> out;
        for (int reg = 30001; reg <= 49999; ++reg) {
            std::uint16_t v = 0;
            store.getStoredValue(1, reg, v);
            out.push_back(v | (static_cast<std::uint32_t>(store.isEdited(0, reg)) << 16)
                          | (static_cast<std::uint32_t>(store.commError(0, reg) != 0) << 17));
        }
        return out;
    };
    const auto before = image();
    ASSERT_EQ(commit(rangeUpper, "2000"), edit::Editor::Result::Accepted);
    ASSERT_EQ(value(sv), 1000);
    const auto after = image();
    EXPECT_EQ(history.undoLabel(), "value input");

    ASSERT_TRUE(history.undo());
    EXPECT_TRUE(image() == before) << "every register and flag as before the change";
    EXPECT_FALSE(history.canUndo());
    ASSERT_TRUE(history.redo());
    EXPECT_TRUE(image() == after);
    ASSERT_TRUE(history.undo());

    // A new change drops what could be redone; a change that changes nothing is no step.
    ASSERT_EQ(commit(sv, "300"), edit::Editor::Result::Accepted);
    EXPECT_FALSE(history.canRedo());
    ASSERT_EQ(commit(sv, "300"), edit::Editor::Result::Accepted);
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(value(sv), 500);
    EXPECT_FALSE(history.canUndo());
}

TEST_F(EditChannel, RefusedValuesLeaveTheStoreAsItWas)
{
    const ParameterDefinition pvf = find("PVF"), sv = find("SV"), inputType = find("INTYP");
    set(find("SVL"), 0);
    set(find("SVH"), 500);
    set(find("DP"), 0);
    ParameterDefinition time = def(5, 0, 0, 9959), bits = def(6, 0, 0, 15);
    struct Case {
        const ParameterDefinition* d;
        const char* text;
    };
    const Case cases[] = {{&pvf, "900.1"}, {&pvf, "-0.1"}, {&sv, "501"}, {&time, "7:60"}, {&bits, "101"}, {&sv, "70000"}};
    store.clearEditedFlags();
    for (const Case& c : cases) {
        refused.clear();
        const int was = value(*c.d);
        EXPECT_EQ(commit(*c.d, c.text), edit::Editor::Result::Refused) << c.text;
        EXPECT_EQ(refused, std::vector<int>{116}) << c.text;
        EXPECT_EQ(value(*c.d), was) << c.text;
        EXPECT_FALSE(store.isEdited(0, c.d->registers[0])) << c.text;
    }
    // A choice in the channel's value list: 116 from the view, 128 from the detail screen.
    refused.clear();
    EXPECT_EQ(editor.commitCode(1, inputType, 0, 29, edit::Mode::View), edit::Editor::Result::Refused);
    EXPECT_EQ(editor.commitCode(1, inputType, 0, 29, edit::Mode::Detail), edit::Editor::Result::Refused);
    EXPECT_EQ(refused, (std::vector<int>{116, 128}));
    EXPECT_EQ(editor.commitCode(0, inputType, 0, 29, edit::Mode::View), edit::Editor::Result::Accepted) << "channel 1 has no list";
}

// Online: the module takes the value first; the same value is not sent; a refused write
// stores nothing; a defining register and a command open the "Communication" window.
TEST(EditOnline, WritesGoToTheModuleFirst)
{
    sim::LineConfig c;
    c.stations = {{1, kCodeA}};
    SimulatedLine line(c);
    ASSERT_TRUE(line.started()) << line.error();
    TextTable texts;
    texts.load(vok::test::kSampleLanguage, "");
    DefinitionTables tables(vok::test::kSampleLanguage);
    tables.loadSpecialRegisters(texts);
    tables.buildRegisterMaps();
    DataStore store;
    store.attach(line.master.get(), &line.reporter);
    store.stationPresent[0] = 1;
    TransferContext ctx(*line.master, store, tables, line.reporter);
    Workers workers(ctx);
    edit::Editor editor(store, tables, workers, line.settings);
    std::vector<std::pair<int, int>> failed;
    std::vector<int> rows;
    editor.onWriteFailed = [&](int id, int rc) { failed.push_back({id, rc}); };
    editor.openCommunication = [&](int, int, int row) { rows.push_back(row); };
    editor.beforeOfflineChange = [](int) { ADD_FAILURE() << "online changes are not undoable"; };
    line.settings.online = 1;

    ParameterDefinition pvf, inputType, at;
    ASSERT_EQ(tables.findDefinition(ListType::Function, "PVF", pvf), kTableOk);
    ASSERT_EQ(tables.findDefinition(ListType::Function, "INTYP", inputType), kTableOk);
    ASSERT_EQ(tables.findDefinition(ListType::Function, "AT", at), kTableOk);
    const int reg = pvf.registers[0];
    line.sim().setRegister(1, reg, 50);
    store.setStoredValue(1, reg, 50);

    line.sim().clearWrites();
    EXPECT_EQ(editor.commitValue(0, pvf, 50, 50, edit::Mode::View), edit::Editor::Result::Accepted);
    EXPECT_TRUE(line.sim().writes().empty()) << "the current value again: no write";

    EXPECT_EQ(editor.commitValue(0, pvf, 50, 75, edit::Mode::View), edit::Editor::Result::Accepted);
    EXPECT_EQ(line.sim().registerValue(1, reg), 75);
    std::uint16_t v = 0;
    store.getStoredValue(1, reg, v);
    EXPECT_EQ(v, 75);
    EXPECT_TRUE(store.isEdited(0, reg));
    EXPECT_TRUE(rows.empty()) << "no window for a register that defines nothing";

    store.clearEditedFlags();
    for (auto [fault, rc] : {std::pair{"exception", exceptionResult(2)}, {"silent", static_cast<int>(kCommNoAnswer)}}) {
        failed.clear();
        line.sim().setFault(1, fault, fault == std::string("exception") ? "2" : "", true, nullptr);
        EXPECT_EQ(editor.commitValue(0, pvf, 75, 80, edit::Mode::View), edit::Editor::Result::Failed) << fault;
        line.sim().clearFaults(1);
        EXPECT_EQ(failed, (std::vector<std::pair<int, int>>{{121, rc}})) << fault;
        store.getStoredValue(1, reg, v);
        EXPECT_EQ(v, 75) << fault;
        EXPECT_FALSE(store.isEdited(0, reg)) << fault;
    }

    // A defining register: the module recalculates, the station is read back.
    EXPECT_EQ(editor.commitCode(0, inputType, 0, 21, edit::Mode::View), edit::Editor::Result::Accepted);
    EXPECT_EQ(rows, std::vector<int>{-1});
    // A command: the monitor follows it.
    rows.clear();
    EXPECT_EQ(editor.commitCode(0, at, 0, 1, edit::Mode::View), edit::Editor::Result::Accepted);
    EXPECT_EQ(rows, std::vector<int>{0});
    EXPECT_TRUE(workers.monitorRunning(1, 0, 0));
    workers.stopAllWorkers();
    line.link->close();
}
