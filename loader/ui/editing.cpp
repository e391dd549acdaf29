#include "editing.h"

#include "dependent.h"
#include "modbus.h"
#include "settings.h"
#include "store.h"
#include "texttable.h"
#include "workers.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <cmath>
#include <cstdio>

namespace edit {

namespace {

double pow10(int n)
{
    return std::pow(10.0, n);
}

// Real times a power of ten, truncated toward zero; a hair toward the sign keeps a typed
// 0.29 with two decimals at 29 rather than 28.
std::int64_t scaled(double value, int decimals)
{
    double v = value * pow10(decimals);
    v = std::trunc(v + (v >= 0 ? 1e-7 : -1e-7));
    if (!std::isfinite(v))
        return v > 0 ? INT64_MAX : INT64_MIN;
    return static_cast<std::int64_t>(std::clamp(v, -9.0e18, 9.0e18));
}

std::int64_t readUnsigned(std::string_view text, int base)
{
    std::size_t i = text.find_first_not_of(" \t");
    if (i == std::string_view::npos)
        return 0;
    if (text[i] == '+')
        ++i;
    else if (text[i] == '-')
        return -1; // never a word
    if (base == 16 && text.substr(i, 2) == "0x")
        i += 2;
    std::uint64_t v = 0;
    const auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), v, base);
    (void)end;
    if (ec == std::errc::result_out_of_range)
        return INT64_MAX;
    return static_cast<std::int64_t>(std::min<std::uint64_t>(v, INT64_MAX));
}

bool isSignedType(int dataType)
{
    return dataType == 0 || dataType == 1 || dataType == 7 || dataType == 8 || dataType == 10;
}

// A real with a fixed number of decimals, as "%.nf" prints it.
std::string realText(double v, int decimals)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", std::clamp(decimals, 0, 9), v + 0.0);
    return buf;
}

} // namespace

std::uint16_t registerOf(const vok::ParameterDefinition& d, int channel)
{
    return d.registers[static_cast<std::size_t>(channelIndexOf(channel))];
}

int refusal(const vok::DataStore& store, const vok::SpecialRegisters& sp, int channel, const vok::ParameterDefinition& d)
{
    const int reg = registerOf(d, channel);
    if (reg >= 30001 && reg <= 39999)
        return 115;
    const int c = channelIndexOf(channel);
    if ((sp.row(vok::SpecialRole::RangeLower).found && reg == sp.reg(vok::SpecialRole::RangeLower, c))
        || (sp.row(vok::SpecialRole::RangeUpper).found && reg == sp.reg(vok::SpecialRole::RangeUpper, c))) {
        std::uint16_t inputType = 0;
        store.getStoredValue(stationOf(channel), sp.reg(vok::SpecialRole::InputType, c), inputType);
        // A fixed range belongs to input types up to 20; the module sets it itself.
        if (static_cast<std::int16_t>(inputType) <= 20)
            return 115;
    }
    return 0;
}

bool percentMode(const vok::ValueFormatter& formatter, int channel, const vok::ParameterDefinition& d)
{
    return d.dataType == 8 && formatter.alarmOf(channel, d).pair().lower == -30;
}

double readReal(std::string_view text)
{
    std::size_t i = text.find_first_not_of(" \t\r\n");
    if (i == std::string_view::npos)
        return 0;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i] == '-';
        ++i;
    }
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), v, std::chars_format::general);
    (void)end;
    if (ec == std::errc::invalid_argument)
        return 0;
    if (ec == std::errc::result_out_of_range)
        v = std::numeric_limits<double>::infinity();
    return negative ? -v : v;
}

std::optional<std::int64_t> convert(std::string_view text, int dataType, int decimals, int channelDecimals, bool percent)
{
    if (percent)
        return scaled(readReal(text), decimals);
    switch (dataType) {
    case 0: return scaled(readReal(text), decimals);
    case 1:
    case 7:
    case 8:
    case 10: return scaled(readReal(text), channelDecimals);
    case 3: return readUnsigned(text, 10);
    case 4: return readUnsigned(text, 16);
    case 5: {
        // Hours and minutes: "7:05" and "07:05" are 705; minutes above 59 are no time.
        const std::size_t colon = text.find(':');
        if (colon == std::string_view::npos)
            return -1;
        const std::int64_t hours = readUnsigned(text.substr(0, colon), 10);
        const std::int64_t minutes = readUnsigned(text.substr(colon + 1), 10);
        if (hours < 0 || minutes < 0 || minutes > 59 || hours > 655)
            return -1;
        return hours * 100 + minutes;
    }
    case 6: {
        for (int i = 0; i < 16; ++i) {
            std::string pattern;
            for (int b = 3; b >= 0; --b)
                pattern.push_back((i >> b) & 1 ? '1' : '0');
            if (text == pattern)
                return i;
        }
        return 16;
    }
    case 2: return std::nullopt;
    default: return 0;
    }
}

bool fitsWord(std::int64_t value, int dataType, bool percent)
{
    if (percent || isSignedType(dataType))
        return value >= -32768 && value <= 32767;
    return value >= 0 && value <= 65535;
}

std::string channelUnitName(const vok::ValueFormatter& formatter, const vok::SpecialRegisters& sp, int channel)
{
    const int unit = formatter.settingOf(channel, vok::SpecialRole::Unit);
    if (unit < 0 || unit > 3 || formatter.settingFailed(channel, vok::SpecialRole::Unit))
        return sp.unitNames[0];
    return sp.unitNames[static_cast<std::size_t>(unit)];
}

std::string rangePrompt(const vok::ValueFormatter& formatter, const vok::SpecialRegisters& sp, const vok::TextTable& texts,
                        int channel, const vok::ParameterDefinition& d)
{
    const std::string& to = texts.text(112);
    const vok::ValueLimits lim = formatter.valueLimits(channel, d);
    auto shown = [&](std::int32_t v) { return formatter.formatValue(channel, static_cast<std::uint16_t>(v), d); };
    switch (d.dataType) {
    case 1:
        return shown(lim.lower) + to + shown(lim.upper) + " " + channelUnitName(formatter, sp, channel);
    case 7: {
        // Percentages of the span as reals, cut to the channel's decimals: "%s %s %s".
        const int p = formatter.channelDecimals(channel, d.decimals);
        const double span = formatter.channelSpan(channel);
        auto real = [&](double v) {
            const double r = v / pow10(d.decimals) / 100.0 * span / pow10(p);
            return static_cast<double>(scaled(r, p)) / pow10(p);
        };
        return realText(real(d.minimum), p) + " " + to + " " + realText(real(d.maximum), p) + " "
            + channelUnitName(formatter, sp, channel);
    }
    case 8: {
        if (percentMode(formatter, channel, d)) {
            // "%s %s %s %s": the pair in percent, then a percent sign.
            const vok::AlarmPair pair = formatter.alarmOf(channel, d).pair();
            return realText(pair.lower / pow10(d.decimals), d.decimals) + " " + to + " "
                + realText(pair.upper / pow10(d.decimals), d.decimals) + " %";
        }
        const int n = formatter.channelDecimals(channel, d.decimals);
        return vok::formatReal(lim.lower / pow10(n), n) + to + vok::formatReal(lim.upper / pow10(n), n) + " "
            + channelUnitName(formatter, sp, channel);
    }
    default:
        return shown(lim.lower) + to + shown(lim.upper) + " " + d.unitText;
    }
}

int codeEntryCount(const vok::ValueFormatter& formatter, const vok::SpecialRegisters& sp, const vok::ParameterDefinition& d,
                   int channel, const std::string& decimalPointKey)
{
    if (!decimalPointKey.empty() && d.key == decimalPointKey) {
        vok::FixedRange range{};
        const int inputType = formatter.settingOf(channel, vok::SpecialRole::InputType);
        const int unit = formatter.settingOf(channel, vok::SpecialRole::Unit);
        if (vok::fixedRange(inputType, unit, 0, range))
            return range.maxDecimals + 1;
        // No fixed range (input types above 20, other units): the definition's own limits.
    }
    (void)sp;
    const long long n = vok::saturateInt64(d.maximum) - vok::saturateInt64(d.minimum) + 1;
    return static_cast<int>(std::clamp<long long>(n, 0, d.choiceCount()));
}

int codePreselection(const vok::ParameterDefinition& d, std::uint16_t current, int entries)
{
    if (current > d.maximum)
        return 0;
    // A value the list does not show is not preselected: OK then changes nothing.
    return current < entries ? current : -1;
}

Editor::Editor(vok::DataStore& store, vok::DefinitionTables& tables, vok::Workers& workers, const vok::CommSettings& settings)
    : m_store(store), m_tables(tables), m_workers(workers), m_settings(settings)
{
}

vok::ValueFormatter Editor::formatter() const
{
    return vok::ValueFormatter(m_store, m_tables.specials());
}

Editor::Result Editor::write(int channel, const vok::ParameterDefinition& d, std::uint16_t current, std::uint16_t raw)
{
    const int station = stationOf(channel);
    const int reg = registerOf(d, channel);
    const bool online = m_settings.online != 0;
    if (!online && beforeOfflineChange)
        beforeOfflineChange(station - 1);
    const int rc = m_store.setValue(station, reg, raw);
    if (rc != 0) {
        // setValue said text 115 itself; a port that did not open said text 100.
        if (rc != -1 && rc != vok::kCommOpenFailed && onWriteFailed)
            onWriteFailed(121, rc);
        return Result::Failed;
    }
    if (raw != current)
        m_store.markEdited(station - 1, reg);
    if (onChanged)
        onChanged();
    return Result::Accepted;
}

Editor::Result Editor::commitValue(int channel, const vok::ParameterDefinition& d, std::uint16_t current, std::int64_t value,
                                   Mode mode)
{
    const vok::ValueFormatter f = formatter();
    const bool percent = percentMode(f, channel, d);
    // A time that is no time is refused at once; every value must fit the word it goes to.
    const bool refusedTime = mode == Mode::View && d.dataType == 5 && !percent && value == -1;
    if (refusedTime || !fitsWord(value, d.dataType, percent) || !f.isValueAllowed(channel, static_cast<std::uint16_t>(value), d)) {
        if (onRefused)
            onRefused(116);
        return Result::Refused;
    }
    const auto raw = static_cast<std::uint16_t>(value);
    if (m_settings.online && raw == current)
        return Result::Accepted;
    const Result r = write(channel, d, current, raw);
    if (r != Result::Accepted)
        return r;
    const int reg = registerOf(d, channel);
    const bool changed = raw != current;
    if (mode == Mode::View) {
        if (changed)
            dependentUpdate(channel, reg, current);
        if (commandFollowUp(channel, reg, raw))
            dependentUpdate(channel, reg, current);
    } else if (commandFollowUp(channel, reg, raw)) {
        dependentUpdate(channel, reg, current);
    }
    if (!m_settings.online && afterOfflineChange)
        afterOfflineChange(stationOf(channel) - 1, "value input");
    return Result::Accepted;
}

Editor::Result Editor::commitCode(int channel, const vok::ParameterDefinition& d, std::uint16_t current, int code, Mode mode)
{
    const auto& list = d.valueLists[static_cast<std::size_t>(channelIndexOf(channel))];
    if (list && std::find(list->begin(), list->end(), code) != list->end()) {
        if (onRefused)
            onRefused(mode == Mode::View ? 116 : 128);
        return Result::Refused;
    }
    const auto raw = static_cast<std::uint16_t>(code);
    if (m_settings.online && raw == current)
        return Result::Accepted;
    const Result r = write(channel, d, current, raw);
    if (r != Result::Accepted)
        return r;
    const int reg = registerOf(d, channel);
    commandFollowUp(channel, reg, raw);
    dependentUpdate(channel, reg, current);
    if (!m_settings.online && afterOfflineChange)
        afterOfflineChange(stationOf(channel) - 1, "code input");
    return Result::Accepted;
}

bool Editor::dependentUpdate(int channel, int reg, std::uint16_t oldValue)
{
    const vok::SpecialRegisters& sp = m_tables.specials();
    const int station = stationOf(channel);
    const int c = channelIndexOf(channel);
    if (station > vok::kControlStations || vok::dependencyKind(sp, c, reg) == vok::DependencyKind::None)
        return false;
    if (m_settings.online) {
        // The module recalculates the channel itself; read it back.
        if (openCommunication)
            openCommunication(station, c, -1);
    } else {
        vok::applyDependentUpdate(m_store, sp, m_tables.maps(), station, c, reg, oldValue, true);
    }
    if (refreshTree)
        refreshTree();
    return true;
}

bool Editor::commandFollowUp(int channel, int reg, std::uint16_t value)
{
    if (!m_settings.online || value == 0)
        return false;
    const int station = stationOf(channel);
    const int row = m_workers.startCommandMonitor(station, channelIndexOf(channel), reg, true);
    if (row < 0)
        return false;
    if (openCommunication)
        openCommunication(station, channelIndexOf(channel), row);
    return true;
}

} // namespace edit
