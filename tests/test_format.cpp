#include "format.h"
#include "store.h"

#include <gtest/gtest.h>

using namespace vok;

namespace {

// Channel settings of station 1: range, decimal point and alarm types at fixed registers.
class Channel1 : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto set = [&](SpecialRole role, std::uint16_t base, std::string key = {}) {
            auto& row = sp.rows[static_cast<int>(role)];
            row.found = true;
            row.key = key;
            for (int c = 0; c < 4; ++c)
                row.registers[c] = static_cast<std::uint16_t>(base + c);
        };
        set(SpecialRole::RangeUpper, 41000);
        set(SpecialRole::RangeLower, 41010);
        set(SpecialRole::DecimalPoint, 41020);
        set(SpecialRole::AlarmType1, 41030);
        set(SpecialRole::AlarmType2, 41040);
        set(SpecialRole::LimitLower, 41050);
        set(SpecialRole::LimitUpper, 41060);
        set(SpecialRole::LimitedValue, 41070, "LIMV");
    }
    void settings(int lower, int upper, int dp, int alarm1Type = 0)
    {
        store.setStoredValue(1, 41010, static_cast<std::uint16_t>(lower));
        store.setStoredValue(1, 41000, static_cast<std::uint16_t>(upper));
        store.setStoredValue(1, 41020, static_cast<std::uint16_t>(dp));
        store.setStoredValue(1, 41030, static_cast<std::uint16_t>(alarm1Type));
    }
    static ParameterDefinition def(int type, int decimals = 0, double min = 0, double max = 0, std::string key = "K")
    {
        ParameterDefinition d;
        d.dataType = type;
        d.decimals = decimals;
        d.minimum = min;
        d.maximum = max;
        d.key = std::move(key);
        return d;
    }
    DataStore store;
    SpecialRegisters sp;
    ValueFormatter f{store, sp};
};

} // namespace

TEST_F(Channel1, FormatByDataType)
{
    settings(0, 1000, 2);
    ParameterDefinition choice = def(2, 0, 0, 3);
    choice.unitText = "0:Off";
    choice.choices = {"1:On", "2:Reverse action", "Full\x81\x46width"};
    struct Case {
        ParameterDefinition d;
        std::uint16_t raw;
        const char* text;
    };
    const Case cases[] = {
        {def(0, 1), 65535, "-0.1"},
        {def(0, 1), 250, "25.0"},
        {def(0, 0), 65535, "-1"},
        {def(0, 2), 29, "0.29"},
        {def(1, 0), 1234, "12.34"},     // the channel's decimal point, not the definition's
        {def(7, 0), 5, "0.05"},
        {def(10, 0), 5, "0.05"},
        {choice, 0, "0"},
        {choice, 2, "2"},
        {choice, 3, "Full"},
        {choice, 4, ""},
        {choice, 300, ""},
        {def(3), 65535, "65535"},
        {def(4), 0xBEEF, "BEEF"},
        {def(4), 0x1F, "001F"},
        {def(5), 1230, "12:30"},
        {def(5), 5, "00:05"},
        {def(6), 5, "0101"},
        {def(6), 20, "0000"},
        {def(9), 5, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(f.formatValue(0, c.raw, c.d), c.text) << "type " << c.d.dataType << " raw " << c.raw;

    // An alarm value has the channel's decimals, but its definition's own for a -30 pair.
    EXPECT_EQ(f.formatValue(0, 125, def(8, 1, 0, 0, "AL1")), "1.25");
    settings(0, 1000, 2, 37);
    EXPECT_EQ(f.formatValue(0, 125, def(8, 1, 0, 0, "AL1")), "12.5");

    f.setSpreadsheetMode(true);
    EXPECT_EQ(f.formatValue(0, 0xBEEF, def(4)), "'BEEF");
    EXPECT_EQ(f.formatValue(0, 5, def(6)), "'0101");
}

TEST_F(Channel1, DecimalsFallBackWhenTheDecimalPointFailed)
{
    settings(0, 1000, 2);
    EXPECT_EQ(f.channelDecimals(0, 1), 2);
    store.setCommError(0, 41020, 1);
    EXPECT_EQ(f.channelDecimals(0, 1), 1);
    EXPECT_DOUBLE_EQ(f.rawToReal(0, 123, 1, 1), 12.3);
    EXPECT_DOUBLE_EQ(f.rawToReal(0, 65535, 3, 0), -0.001);
    EXPECT_DOUBLE_EQ(f.rawToReal(0, 65535, 3, 3), 65535);
}

TEST_F(Channel1, AlarmOfKey)
{
    settings(0, 1000, 0, 7);
    store.setStoredValue(1, 41040, 37);
    EXPECT_EQ(f.alarmOf(0, def(8, 0, 0, 0, "AL1")).type, 7);
    AlarmInfo a2h = f.alarmOf(0, def(8, 0, 0, 0, "AL2h"));
    EXPECT_EQ(a2h.number, 2);
    EXPECT_TRUE(a2h.second);
    EXPECT_EQ(a2h.pair().lower, -30);
    EXPECT_EQ(f.alarmOf(0, def(8, 0, 0, 0, "XYZ")).number, 1);
    store.setCommError(0, 41030, 1);
    EXPECT_EQ(f.alarmOf(0, def(8, 0, 0, 0, "AL1")).type, 0) << "a failed type register reads as 0";
    EXPECT_EQ(alarmValuePair(99).lower, alarmValuePair(47).lower);
    EXPECT_EQ(alarmSecondPair(15).lower, -100);
}

TEST_F(Channel1, LimitsByType)
{
    // Type 8 with alarm type 7 (pair -100..100) on a range of -50..150: minus to plus span.
    settings(-50, 150, 0, 7);
    ValueLimits l8 = f.valueLimits(0, def(8, 0, 0, 0, "AL1"));
    EXPECT_EQ(l8.lower, -200);
    EXPECT_EQ(l8.upper, 200);
    EXPECT_TRUE(f.isValueAllowed(0, static_cast<std::uint16_t>(-200), def(8, 0, 0, 0, "AL1")));
    EXPECT_FALSE(f.isValueAllowed(0, 201, def(8, 0, 0, 0, "AL1")));
    settings(-50, 150, 0, 0); // pair 0..100: the range
    EXPECT_EQ(f.valueLimits(0, def(8, 0, 0, 0, "AL1")).lower, -50);
    settings(-50, 150, 0, 37); // pair -30..1030
    EXPECT_EQ(f.valueLimits(0, def(8, 0, 0, 0, "AL1")).upper, 1030);

    // Type 7: 0 % to 100 % of a 0..4000 span with decimal point 1.
    settings(0, 4000, 1);
    ValueLimits l7 = f.valueLimits(0, def(7, 1, 0, 1000));
    EXPECT_EQ(l7.lower, 0);
    EXPECT_EQ(l7.upper, 4000);
    EXPECT_DOUBLE_EQ(l7.realUpper, 400.0);

    // Type 1: the range, or the limit registers for the limited value.
    EXPECT_EQ(f.valueLimits(0, def(1)).upper, 4000);
    store.setStoredValue(1, 41050, 100);
    store.setStoredValue(1, 41060, 900);
    EXPECT_EQ(f.valueLimits(0, def(1, 0, 0, 0, "LIMV")).upper, 900);

    // Others: the override pair of channels 2-4 when valid, else minimum and maximum.
    ParameterDefinition d = def(3, 0, 0, 50);
    d.ranges[0] = {10, 20};
    d.ranges[1] = {30, 30};
    EXPECT_EQ(f.valueLimits(0, d).upper, 50) << "channel 1 has no override";
    EXPECT_EQ(f.valueLimits(1, d).upper, 20);
    EXPECT_EQ(f.valueLimits(2, d).upper, 50) << "an empty pair is ignored";

    ParameterDefinition hex = def(4, 0, 0, 0xFFFF);
    EXPECT_TRUE(f.isValueAllowed(0, 0xF864, hex)) << "hexadecimal words compare unsigned";

    ParameterDefinition listed = def(3, 0, 0, 100);
    listed.valueLists[0] = std::make_shared<const std::vector<std::int32_t>>(std::vector<std::int32_t>{5, 7});
    EXPECT_FALSE(f.isValueAllowed(0, 7, listed));
    EXPECT_TRUE(f.isValueAllowed(0, 6, listed));
    EXPECT_TRUE(f.isValueAllowed(1, 7, listed)) << "the list belongs to channel 1 only";
}

TEST(FormatReal, TruncatesAndNeverShowsMinusZero)
{
    EXPECT_EQ(formatReal(12.349, 2), "12.34");
    EXPECT_EQ(formatReal(-12.349, 2), "-12.34");
    EXPECT_EQ(formatReal(-0.04, 1), "0.0");
    EXPECT_EQ(formatReal(7.0, 0), "7");
    EXPECT_EQ(formatReal(0.29, 2), "0.29");
}
