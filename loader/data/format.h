#pragma once
// How a raw register value is shown, turned into a real number and checked, by the
// parameter's data type and the settings of its channel (decimal point, range, alarm types).

#include "definitions.h"

#include <cstdint>
#include <string>

namespace vok {

class DataStore;

struct AlarmPair {
    int lower;
    int upper;
};
// The alarm-limit table: the value pair and the second parameter's pair of an alarm type
// (types above 47 use row 47).
AlarmPair alarmValuePair(int alarmType);
AlarmPair alarmSecondPair(int alarmType);

// Text of a real value with `decimals` decimals, truncated toward zero.
std::string formatReal(double value, int decimals);

struct AlarmInfo {
    int number = 1;      // 1-5
    bool second = false; // the alarm's second parameter (key contains "h")
    int type = 0;        // stored value of the channel's alarm-type register
    AlarmPair pair() const { return second ? alarmSecondPair(type) : alarmValuePair(type); }
};

struct ValueLimits {
    std::int32_t lower = 0;
    std::int32_t upper = 0;
    // dataType 7: the real limits that the value input shows.
    bool hasReal = false;
    double realLower = 0;
    double realUpper = 0;
};

class ValueFormatter {
public:
    ValueFormatter(const DataStore& store, const SpecialRegisters& specials) : m_store(store), m_specials(specials) {}

    // Channel: 4 x station index + channel index.
    int channelDecimals(int channel, int fallback) const;
    double rawToReal(int channel, std::uint16_t raw, int decimals, int dataType) const;
    std::string formatValue(int channel, std::uint16_t raw, const ParameterDefinition& d) const;
    AlarmInfo alarmOf(int channel, const ParameterDefinition& d) const;
    ValueLimits valueLimits(int channel, const ParameterDefinition& d) const;
    bool isValueAllowed(int channel, std::uint16_t raw, const ParameterDefinition& d) const;

    // Signed stored value of a role's register on a channel.
    int settingOf(int channel, SpecialRole role) const;
    // Whether the last transfer of that register failed.
    bool settingFailed(int channel, SpecialRole role) const;
    int channelSpan(int channel) const;

    // Spreadsheet output: hexadecimal and bit-pattern texts get a leading "'".
    void setSpreadsheetMode(bool on) { m_spreadsheet = on; }

private:
    const DataStore& m_store;
    const SpecialRegisters& m_specials;
    bool m_spreadsheet = false;
};

} // namespace vok
