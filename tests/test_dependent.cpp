#include "dependent.h"
#include "store.h"

#include <gtest/gtest.h>

using namespace vok;

namespace {

// Channel 1 of station 2 with its defining registers in the block 41000-41999.
class DependentChannel : public ::testing::Test {
protected:
    enum : int {
        kRangeUpper = 41001, kRangeLower = 41002, kDp = 41003, kUnit = 41004, kInputType = 41005,
        kAlarm1Type = 41006, kAlarm1Value = 41007, kAlarm1Hyst = 41008, kLimitLo = 41009, kLimitHi = 41010,
        kLimited = 41011, kSetValue = 41100, kPercent = 41101, kPlain = 41102,
    };
    void SetUp() override
    {
        auto set = [&](SpecialRole role, int reg) {
            auto& row = sp.rows[static_cast<int>(role)];
            row.found = true;
            row.registers = {static_cast<std::uint16_t>(reg), static_cast<std::uint16_t>(reg + 1000), 0, 0};
        };
        set(SpecialRole::RangeUpper, kRangeUpper);
        set(SpecialRole::RangeLower, kRangeLower);
        set(SpecialRole::DecimalPoint, kDp);
        set(SpecialRole::Unit, kUnit);
        set(SpecialRole::InputType, kInputType);
        set(SpecialRole::AlarmType1, kAlarm1Type);
        set(SpecialRole::AlarmValue1, kAlarm1Value);
        set(SpecialRole::AlarmSecond1, kAlarm1Hyst);
        set(SpecialRole::LimitLower, kLimitLo);
        set(SpecialRole::LimitUpper, kLimitHi);
        set(SpecialRole::LimitedValue, kLimited);
        for (int reg : {kRangeUpper, kRangeLower, kSetValue, kLimited, kLimitLo, kLimitHi})
            maps->holdingKind[0][reg - 40000] = 1;
        maps->holdingKind[0][kPercent - 40000] = 7;
        maps->holdingKind[0][kAlarm1Value - 40000] = 8;
        maps->holdingKind[0][kPlain - 40000] = 55;
    }
    void put(int reg, int value) { store.setStoredValue(2, reg, static_cast<std::uint16_t>(value)); }
    int get(int reg) const
    {
        std::uint16_t v = 0;
        store.getStoredValue(2, reg, v);
        return static_cast<std::int16_t>(v);
    }
    // Stores the new value and runs the update, as the input dialogs do.
    DependencyKind change(int reg, int value)
    {
        std::uint16_t old = 0;
        store.getStoredValue(2, reg, old);
        put(reg, value);
        return applyDependentUpdate(store, sp, *maps, 2, 0, reg, old, true);
    }
    DataStore store;
    SpecialRegisters sp;
    std::unique_ptr<RegisterMaps> maps = std::make_unique<RegisterMaps>();
};

} // namespace

TEST_F(DependentChannel, RangeUpperRescalesSetValuesAndPercentages)
{
    put(kRangeLower, 0);
    put(kRangeUpper, 1000);
    put(kSetValue, 500);
    put(kPercent, 100);
    put(kPlain, 77);
    EXPECT_EQ(change(kRangeUpper, 2000), DependencyKind::RangeUpper);
    EXPECT_EQ(get(kSetValue), 1000);
    EXPECT_EQ(get(kPercent), 200);
    EXPECT_EQ(get(kPlain), 77);
    EXPECT_EQ(get(kRangeUpper), 2000) << "the register that was set stays as set";
    EXPECT_EQ(store.isEdited(1, kSetValue), 1);
    EXPECT_EQ(store.isEdited(1, kPlain), 0);
}

TEST_F(DependentChannel, RangeLowerMovesTheBase)
{
    put(kRangeLower, 0);
    put(kRangeUpper, 1000);
    put(kSetValue, 500);
    EXPECT_EQ(change(kRangeLower, 500), DependencyKind::RangeLower);
    EXPECT_EQ(get(kSetValue), 750);
    EXPECT_EQ(get(kRangeLower), 500);
}

TEST_F(DependentChannel, InputTypeSetsTheFixedRange)
{
    put(kUnit, 0);
    put(kDp, 1);
    put(kRangeLower, 0);
    put(kRangeUpper, 1500);
    put(kSetValue, 750);
    // Type 4 (unit 0, dp 1): -1500 .. 8500.
    EXPECT_EQ(change(kInputType, 4), DependencyKind::InputType);
    EXPECT_EQ(get(kRangeLower), -1500);
    EXPECT_EQ(get(kRangeUpper), 8500);
    EXPECT_EQ(get(kSetValue), 3500) << "the middle of the old range is the middle of the new one";
    // Unit 1 allows no decimal point for type 4: dp drops to 0 and the range follows.
    EXPECT_EQ(change(kUnit, 1), DependencyKind::Unit);
    EXPECT_EQ(get(kDp), 0);
    EXPECT_EQ(get(kRangeLower), -238);
    EXPECT_EQ(get(kRangeUpper), 1562);
    // Above type 20 nothing is fixed.
    put(kInputType, 21);
    EXPECT_EQ(change(kDp, 1), DependencyKind::DecimalPoint);
    EXPECT_EQ(get(kRangeLower), -238);
    EXPECT_EQ(get(kRangeUpper), 1562);
}

TEST_F(DependentChannel, AlarmTypeClassChangeConvertsTheValue)
{
    put(kRangeLower, 0);
    put(kRangeUpper, 1000);
    put(kAlarm1Type, 1);   // class 0: an absolute value
    put(kAlarm1Value, 300);
    put(kAlarm1Hyst, 20);
    EXPECT_EQ(change(kAlarm1Type, 5), DependencyKind::AlarmType1); // class -100: a deviation
    EXPECT_EQ(get(kAlarm1Value), 300);
    EXPECT_EQ(get(kAlarm1Hyst), 20) << "the second pair keeps its class";
    EXPECT_EQ(change(kAlarm1Type, 35), DependencyKind::AlarmType1); // class -30: percent of span
    EXPECT_EQ(get(kAlarm1Value), 300);                              // 300 of 1000 = 30.0 % -> 300
    put(kAlarm1Value, 250);
    EXPECT_EQ(change(kAlarm1Type, 1), DependencyKind::AlarmType1); // back to an absolute value
    EXPECT_EQ(get(kAlarm1Value), 250);
}

TEST_F(DependentChannel, LimitedValueIsClamped)
{
    put(kLimited, 900);
    put(kLimitLo, 0);
    EXPECT_EQ(change(kLimitHi, 500), DependencyKind::LimitUpper);
    EXPECT_EQ(get(kLimited), 500);
    EXPECT_EQ(change(kLimitLo, 600), DependencyKind::LimitLower);
    EXPECT_EQ(get(kLimited), 600);
    EXPECT_EQ(change(kPlain, 1), DependencyKind::None);
}

TEST(Rescale, Cases)
{
    struct Case {
        int v, b1, s1, b2, s2, result;
    };
    const Case cases[] = {
        {500, 0, 1000, 0, 2000, 1000}, {-100, 0, 1000, 0, 2000, 0}, {1500, 0, 1000, 0, 2000, 2000},
        {5, 0, 0, 10, 100, 110},       {333, 0, 1000, 0, 3, 1},      {-500, -1000, 2000, 0, 100, 25},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rescale(c.v, c.b1, c.s1, c.b2, c.s2), c.result) << c.v << " " << c.b1 << " " << c.s1;
    FixedRange r{};
    EXPECT_TRUE(fixedRange(13, 1, 1, r));
    EXPECT_EQ(r.lower, -3260);
    EXPECT_FALSE(fixedRange(21, 0, 0, r));
    EXPECT_FALSE(fixedRange(0, 2, 0, r));
}
