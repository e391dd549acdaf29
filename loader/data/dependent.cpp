#include "dependent.h"

#include "format.h"
#include "store.h"

#include <algorithm>
#include <cstdlib>

namespace vok {

namespace {

struct RangeRow {
    int maxDp[2];
    int lo[2][2]; // [unit][dp]
    int hi[2][2];
};

// Input types 0-20: per unit the largest decimal point and the ranges at dp 0 and dp 1.
constexpr RangeRow kFixedRanges[21] = {
    {{1, 1}, {{0, 0}, {32, 320}}, {{150, 1500}, {302, 3020}}},
    {{1, 0}, {{-150, -1500}, {-238, -2380}}, {{600, 6000}, {1112, 11120}}},
    {{1, 1}, {{0, 0}, {32, 320}}, {{150, 1500}, {302, 3020}}},
    {{1, 1}, {{-150, -1500}, {-148, -2380}}, {{300, 3000}, {572, 5720}}},
    {{1, 0}, {{-150, -1500}, {-238, -3280}}, {{850, 8500}, {1562, 15620}}},
    {{1, 1}, {{0, 0}, {32, 320}}, {{400, 4000}, {752, 7520}}},
    {{1, 0}, {{0, 0}, {32, 320}}, {{800, 8000}, {1472, 14720}}},
    {{1, 1}, {{0, 0}, {32, 320}}, {{400, 4000}, {752, 7520}}},
    {{1, 0}, {{0, 0}, {32, 320}}, {{800, 8000}, {1472, 14720}}},
    {{0, 0}, {{0, 0}, {32, 320}}, {{1200, 12000}, {2192, 21920}}},
    {{0, 0}, {{0, 0}, {32, 320}}, {{1600, 16000}, {2912, 29120}}},
    {{0, 0}, {{0, 0}, {32, 320}}, {{1800, 18000}, {3272, 32720}}},
    {{0, 0}, {{0, 0}, {32, 320}}, {{1600, 16000}, {2912, 29120}}},
    {{1, 0}, {{-199, -1990}, {-326, -3260}}, {{400, 4000}, {752, 7520}}},
    {{1, 0}, {{-199, -1990}, {-326, -3260}}, {{800, 8000}, {1472, 14720}}},
    {{1, 0}, {{0, 0}, {32, 320}}, {{400, 4000}, {752, 7520}}},
    {{1, 0}, {{0, 0}, {32, 320}}, {{400, 4000}, {752, 7520}}},
    {{1, 0}, {{0, 0}, {32, 320}}, {{400, 4000}, {752, 7520}}},
    {{0, 0}, {{0, 0}, {32, 320}}, {{1300, 13000}, {2372, 23720}}},
    {{0, 0}, {{0, 0}, {32, 320}}, {{1300, 13000}, {2372, 23720}}},
    {{1, 0}, {{0, 0}, {32, 320}}, {{400, 4000}, {752, 7520}}},
};

SpecialRole nth(SpecialRole first, int n)
{
    return static_cast<SpecialRole>(static_cast<int>(first) + n);
}

int signedValue(const DataStore& store, int station, int reg)
{
    std::uint16_t v = 0;
    store.getStoredValue(station, reg, v);
    return static_cast<std::int16_t>(v);
}

class Updater {
public:
    Updater(DataStore& store, const SpecialRegisters& sp, const RegisterMaps& maps, int station, int channel,
            bool markEdits)
        : m_store(store), m_sp(sp), m_maps(maps), m_station(station), m_channel(channel & 3), m_mark(markEdits),
          m_kind(station <= kControlStations ? 0 : 1)
    {
    }

    int get(SpecialRole role) const { return signedValue(m_store, m_station, m_sp.reg(role, m_channel)); }
    int getReg(int reg) const { return signedValue(m_store, m_station, reg); }

    void put(int reg, int value)
    {
        if (reg == 0)
            return;
        const auto v = static_cast<std::uint16_t>(static_cast<std::int16_t>(std::clamp(value, -32768, 32767)));
        std::uint16_t old = 0;
        m_store.getStoredValue(m_station, reg, old);
        if (old == v)
            return;
        m_store.setStoredValue(m_station, reg, v);
        if (m_mark)
            m_store.markEdited(m_station - 1, reg);
    }

    // The alarm pair that governs a kind-8 register: its alarm's value or second pair.
    AlarmPair alarmPairOf(int reg) const
    {
        for (int n = 0; n < 5; ++n) {
            const int type = get(nth(SpecialRole::AlarmType1, n));
            if (reg == m_sp.reg(nth(SpecialRole::AlarmValue1, n), m_channel))
                return alarmValuePair(type);
            if (reg == m_sp.reg(nth(SpecialRole::AlarmSecond1, n), m_channel))
                return alarmSecondPair(type);
        }
        return alarmValuePair(get(SpecialRole::AlarmType1));
    }

    // Rescales every holding register of the channel from the old range to the new one.
    void rescaleChannel(int b1, int s1)
    {
        const int lower = get(SpecialRole::RangeLower);
        const int span = get(SpecialRole::RangeUpper) - lower;
        const int channelNumber = m_channel + 1;
        const int blockFirst = 1000 * channelNumber;
        // The range registers define the scale; rescaling them would change what was just set.
        const int lowerReg = m_sp.reg(SpecialRole::RangeLower, m_channel);
        const int upperReg = m_sp.reg(SpecialRole::RangeUpper, m_channel);
        for (int i = 0; i < kHoldingRegisters; ++i) {
            const bool inBlock = i >= blockFirst && i <= blockFirst + 999;
            if (!inBlock && m_maps.holdingChannel[m_kind][i] != channelNumber)
                continue;
            const int reg = kFirstHolding + i;
            if (reg == lowerReg || reg == upperReg)
                continue;
            int kind = m_maps.holdingKind[m_kind][i];
            if (kind == 8) {
                const int cls = alarmPairOf(reg).lower;
                kind = cls == 0 ? 1 : cls == -100 ? 7 : 0;
            }
            if (kind == 1)
                put(reg, rescale(getReg(reg), b1, s1, lower, span));
            else if (kind == 7)
                put(reg, rescale(getReg(reg), 0, s1, 0, span));
        }
    }

    void clampLimitedValue()
    {
        const int lo = get(SpecialRole::LimitLower);
        const int hi = get(SpecialRole::LimitUpper);
        const int reg = m_sp.reg(SpecialRole::LimitedValue, m_channel);
        const int v = getReg(reg);
        if (v < lo)
            put(reg, lo);
        else if (v > hi || hi < lo)
            put(reg, hi);
    }

    void fixedRangeStep()
    {
        const int inputType = get(SpecialRole::InputType);
        const int unit = get(SpecialRole::Unit);
        if (inputType < 0 || inputType > 20 || unit < 0 || unit > 1)
            return;
        const RangeRow& row = kFixedRanges[inputType];
        const int dpReg = m_sp.reg(SpecialRole::DecimalPoint, m_channel);
        int dp = getReg(dpReg);
        if (dp > row.maxDp[unit]) {
            dp = row.maxDp[unit];
            put(dpReg, dp);
        }
        if (dp < 0 || dp > 1)
            return;
        const int lowerReg = m_sp.reg(SpecialRole::RangeLower, m_channel);
        const int upperReg = m_sp.reg(SpecialRole::RangeUpper, m_channel);
        const int oldLower = getReg(lowerReg);
        if (oldLower != row.lo[unit][dp]) {
            put(lowerReg, row.lo[unit][dp]);
            rescaleChannel(oldLower, get(SpecialRole::RangeUpper) - oldLower);
        }
        const int oldUpper = getReg(upperReg);
        if (oldUpper != row.hi[unit][dp]) {
            put(upperReg, row.hi[unit][dp]);
            const int lower = get(SpecialRole::RangeLower);
            rescaleChannel(lower, oldUpper - lower);
        }
    }

    void alarmTypeChanged(int n, int oldType)
    {
        const int newType = get(nth(SpecialRole::AlarmType1, n));
        const int lower = get(SpecialRole::RangeLower);
        const int span = get(SpecialRole::RangeUpper) - lower;
        struct Reg {
            SpecialRole role;
            AlarmPair (*pair)(int);
        };
        for (Reg r : {Reg{nth(SpecialRole::AlarmValue1, n), alarmValuePair}, Reg{nth(SpecialRole::AlarmSecond1, n), alarmSecondPair}}) {
            const int from = r.pair(oldType).lower;
            const int to = r.pair(newType).lower;
            if (from == to)
                continue;
            const int reg = m_sp.reg(r.role, m_channel);
            int v = getReg(reg);
            if (from == 0 && to == -100)
                v = rescale(v, lower, span, 0, span);
            else if (from == 0 && to == -30)
                v = rescale(v, lower, span, 0, 10000) / 10;
            else if (from == -100 && to == -30)
                v = rescale(v, 0, span, 0, 10000) / 10;
            else if (from == -100 && to == 0)
                v = rescale(v, 0, span, lower, span);
            else if (from == -30 && to == 0)
                v = rescale(v * 10, 0, 10000, lower, span);
            else if (from == -30 && to == -100)
                v = rescale(v * 10, 0, 10000, 0, span);
            put(reg, v);
        }
    }

private:
    DataStore& m_store;
    const SpecialRegisters& m_sp;
    const RegisterMaps& m_maps;
    int m_station;
    int m_channel;
    bool m_mark;
    int m_kind;
};

} // namespace

DependencyKind dependencyKind(const SpecialRegisters& sp, int channel, int reg)
{
    if (reg == 0)
        return DependencyKind::None;
    auto is = [&](SpecialRole role) { return sp.row(role).found && sp.reg(role, channel) == reg; };
    if (is(SpecialRole::LimitLower))
        return DependencyKind::LimitLower;
    if (is(SpecialRole::LimitUpper))
        return DependencyKind::LimitUpper;
    if (is(SpecialRole::RangeLower))
        return DependencyKind::RangeLower;
    if (is(SpecialRole::RangeUpper))
        return DependencyKind::RangeUpper;
    if (is(SpecialRole::DecimalPoint))
        return DependencyKind::DecimalPoint;
    if (is(SpecialRole::Unit))
        return DependencyKind::Unit;
    for (int n = 0; n < 5; ++n) {
        if (is(nth(SpecialRole::AlarmType1, n)))
            return static_cast<DependencyKind>(static_cast<int>(DependencyKind::AlarmType1) + n);
    }
    if (is(SpecialRole::InputType))
        return DependencyKind::InputType;
    return DependencyKind::None;
}

DependencyKind dependencyKindOf(const SpecialRegisters& sp, int reg, int& channel)
{
    for (int c = 0; c < 4; ++c) {
        DependencyKind k = dependencyKind(sp, c, reg);
        if (k != DependencyKind::None) {
            channel = c;
            return k;
        }
    }
    channel = 0;
    return DependencyKind::None;
}

int rescale(int v, int b1, int s1, int b2, int s2)
{
    long long q = 65535;
    if (s1 != 0) {
        long long quotient = (std::llabs(static_cast<long long>(v) - b1) * s2 + s1 / 2) / s1;
        if (quotient >= -65535 && quotient <= 65535)
            q = quotient;
    }
    long long r = v >= b1 ? b2 + q : b2 - q;
    r = std::clamp(r, -32767LL, 32767LL);
    const long long lo = std::min<long long>(b2, static_cast<long long>(b2) + s2);
    const long long hi = std::max<long long>(b2, static_cast<long long>(b2) + s2);
    return static_cast<int>(std::clamp(r, lo, hi));
}

bool fixedRange(int inputType, int unit, int decimals, FixedRange& out)
{
    if (inputType < 0 || inputType > 20 || unit < 0 || unit > 1 || decimals < 0 || decimals > 1)
        return false;
    const RangeRow& row = kFixedRanges[inputType];
    out = {row.maxDp[unit], row.lo[unit][decimals], row.hi[unit][decimals]};
    return true;
}

DependencyKind applyDependentUpdate(DataStore& store, const SpecialRegisters& specials, const RegisterMaps& maps,
                                    int station, int channel, int reg, std::uint16_t oldValue, bool markEdits)
{
    const DependencyKind kind = dependencyKind(specials, channel & 3, reg);
    Updater u(store, specials, maps, station, channel, markEdits);
    const int old = static_cast<std::int16_t>(oldValue);
    switch (kind) {
    case DependencyKind::None:
        break;
    case DependencyKind::LimitLower:
    case DependencyKind::LimitUpper:
        u.clampLimitedValue();
        break;
    case DependencyKind::RangeLower:
        u.rescaleChannel(old, u.get(SpecialRole::RangeUpper) - old);
        break;
    case DependencyKind::RangeUpper: {
        const int lower = u.get(SpecialRole::RangeLower);
        u.rescaleChannel(lower, old - lower);
        break;
    }
    case DependencyKind::DecimalPoint:
    case DependencyKind::Unit:
    case DependencyKind::InputType:
        u.fixedRangeStep();
        break;
    default:
        u.alarmTypeChanged(static_cast<int>(kind) - static_cast<int>(DependencyKind::AlarmType1), oldValue);
        break;
    }
    return kind;
}

} // namespace vok
