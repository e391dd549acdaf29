#include "format.h"

#include "store.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vok {

namespace {

double pow10(int n)
{
    return std::pow(10.0, n);
}

int stationOf(int channel)
{
    return channel / 4 + 1;
}

} // namespace

AlarmPair alarmValuePair(int t)
{
    if (t < 0 || t > 47)
        t = 47;
    switch (t) {
    case 5: case 6: case 7: case 8: case 9: case 10: case 11: case 13: case 14: case 18: case 22: case 26:
    case 30: case 41: case 42: case 43: case 44: case 45: case 46: case 17: case 21: case 25: case 29:
        return {-100, 100};
    case 35: case 36: case 38: case 39: case 37: case 40:
        return {-30, 1030};
    default:
        return {0, 100};
    }
}

AlarmPair alarmSecondPair(int t)
{
    if (t < 0 || t > 47)
        t = 47;
    switch (t) {
    case 15: case 19: case 23: case 27: case 31: case 17: case 21: case 25: case 29:
        return {-100, 100};
    case 37: case 40:
        return {-30, 1030};
    default:
        return {0, 100};
    }
}

std::string formatReal(double value, int decimals)
{
    if (decimals < 0)
        decimals = 0;
    if (decimals > 9)
        decimals = 9;
    const double scale = pow10(decimals);
    // A hair toward the value's sign keeps 0.29 * 100 from truncating to 28.
    double scaled = value * scale;
    scaled = std::trunc(scaled + (scaled >= 0 ? 1e-7 : -1e-7));
    double shown = scaled / scale + 0.0; // + 0.0 turns -0 into 0
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, shown);
    return buf;
}

int ValueFormatter::settingOf(int channel, SpecialRole role) const
{
    std::uint16_t v = 0;
    m_store.getStoredValue(stationOf(channel), m_specials.reg(role, channel % 4), v);
    return static_cast<std::int16_t>(v);
}

bool ValueFormatter::settingFailed(int channel, SpecialRole role) const
{
    std::uint16_t v = 0;
    return m_store.getStoredValue(stationOf(channel), m_specials.reg(role, channel % 4), v) != 0;
}

int ValueFormatter::channelSpan(int channel) const
{
    return std::abs(settingOf(channel, SpecialRole::RangeUpper) - settingOf(channel, SpecialRole::RangeLower));
}

int ValueFormatter::channelDecimals(int channel, int fallback) const
{
    std::uint16_t v = 0;
    if (m_store.getStoredValue(stationOf(channel), m_specials.reg(SpecialRole::DecimalPoint, channel % 4), v))
        return fallback;
    return v;
}

double ValueFormatter::rawToReal(int channel, std::uint16_t raw, int decimals, int dataType) const
{
    const double s = static_cast<std::int16_t>(raw);
    switch (dataType) {
    case 0: return s / pow10(decimals);
    case 1:
    case 7:
    case 8: return s / pow10(channelDecimals(channel, decimals));
    default: return raw;
    }
}

AlarmInfo ValueFormatter::alarmOf(int channel, const ParameterDefinition& d) const
{
    AlarmInfo info;
    for (int n = 1; n <= 5; ++n) {
        if (d.key.find("AL" + std::to_string(n)) != std::string::npos) {
            info.number = n;
            info.second = d.key.find('h') != std::string::npos;
            break;
        }
    }
    const auto role = static_cast<SpecialRole>(static_cast<int>(SpecialRole::AlarmType1) + info.number - 1);
    std::uint16_t type = 0;
    if (m_store.getStoredValue(stationOf(channel), m_specials.reg(role, channel % 4), type))
        type = 0;
    info.type = type;
    return info;
}

std::string ValueFormatter::formatValue(int channel, std::uint16_t raw, const ParameterDefinition& d) const
{
    const double s = static_cast<std::int16_t>(raw);
    char buf[32];
    switch (d.dataType) {
    case 0: return formatReal(s / pow10(d.decimals), d.decimals);
    case 1:
    case 7:
    case 10: {
        int n = channelDecimals(channel, d.decimals);
        return formatReal(s / pow10(n), n);
    }
    case 8: {
        int n = alarmOf(channel, d).pair().lower == -30 ? d.decimals : channelDecimals(channel, d.decimals);
        return formatReal(s / pow10(n), n);
    }
    case 2: {
        if (raw > 255 || raw < d.minimum || raw > d.maximum)
            return {};
        std::string text = d.choiceText(raw);
        std::size_t cut = text.find(':');
        if (cut == std::string::npos)
            cut = text.find("\x81\x46"); // full-width colon in Shift_JIS
        if (cut == std::string::npos)
            cut = text.find("\xef\xbc\x9a"); // and in UTF-8
        return cut == std::string::npos ? text : text.substr(0, cut);
    }
    case 3:
        std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(raw));
        return buf;
    case 4:
        std::snprintf(buf, sizeof buf, m_spreadsheet ? "'%04X" : "%04X", static_cast<unsigned>(raw));
        return buf;
    case 5:
        std::snprintf(buf, sizeof buf, "%02d:%02d", raw / 100, raw % 100);
        return buf;
    case 6: {
        std::string bits = m_spreadsheet ? "'" : "";
        const unsigned v = raw <= 15 ? raw : 0;
        for (int b = 3; b >= 0; --b)
            bits.push_back((v >> b) & 1 ? '1' : '0');
        return bits;
    }
    default: return {};
    }
}

ValueLimits ValueFormatter::valueLimits(int channel, const ParameterDefinition& d) const
{
    ValueLimits lim;
    const int c = channel % 4;
    auto overridePair = [&](std::int32_t& lo, std::int32_t& hi) {
        if (c >= 1 && d.ranges[c - 1].first < d.ranges[c - 1].second) {
            lo = d.ranges[c - 1].first;
            hi = d.ranges[c - 1].second;
            return true;
        }
        return false;
    };
    switch (d.dataType) {
    case 1:
        if (m_specials.row(SpecialRole::LimitedValue).found && d.key == m_specials.row(SpecialRole::LimitedValue).key) {
            lim.lower = settingOf(channel, SpecialRole::LimitLower);
            lim.upper = settingOf(channel, SpecialRole::LimitUpper);
        } else {
            lim.lower = settingOf(channel, SpecialRole::RangeLower);
            lim.upper = settingOf(channel, SpecialRole::RangeUpper);
        }
        break;
    case 7: {
        const int p = channelDecimals(channel, d.decimals);
        const double span = channelSpan(channel);
        auto real = [&](double v) { return v / pow10(d.decimals) / 100.0 * span / pow10(p); };
        lim.hasReal = true;
        lim.realLower = real(d.minimum);
        lim.realUpper = real(d.maximum);
        lim.lower = saturateInt32(pow10(p) * lim.realLower);
        lim.upper = saturateInt32(pow10(p) * lim.realUpper);
        break;
    }
    case 8: {
        const AlarmPair pair = alarmOf(channel, d).pair();
        if (pair.lower == -30) {
            lim.lower = -30;
            lim.upper = pair.upper;
        } else if (pair.lower == 0) {
            lim.lower = settingOf(channel, SpecialRole::RangeLower);
            lim.upper = settingOf(channel, SpecialRole::RangeUpper);
        } else {
            lim.lower = -channelSpan(channel);
            lim.upper = channelSpan(channel);
        }
        break;
    }
    default:
        if (!overridePair(lim.lower, lim.upper)) {
            lim.lower = saturateInt32(d.minimum);
            lim.upper = saturateInt32(d.maximum);
        }
        break;
    }
    return lim;
}

bool ValueFormatter::isValueAllowed(int channel, std::uint16_t raw, const ParameterDefinition& d) const
{
    const ValueLimits lim = valueLimits(channel, d);
    // Hexadecimal values are compared as the unsigned words they are.
    const std::int32_t v = d.dataType == 4 ? static_cast<std::int32_t>(raw) : static_cast<std::int16_t>(raw);
    if (v < lim.lower || v > lim.upper)
        return false;
    const auto& list = d.valueLists[channel % 4];
    if (!list)
        return true;
    for (std::int32_t refused : *list) {
        if (refused == v)
            return false;
    }
    return true;
}

} // namespace vok
