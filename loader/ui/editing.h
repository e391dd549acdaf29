#pragma once
// Editing one parameter of one channel, without widgets: whether the cell may be written,
// how typed text becomes a raw value, the range prompt, and the write with its follow-ups
// (the dependent update of the channel and the command monitor). The input dialogs and the
// detail screen call it; the tests drive it directly.

#include "definitions.h"
#include "format.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vok {
class DataStore;
class Workers;
struct CommSettings;
class TextTable;
}

namespace edit {

// Who opened the input: the parameter view or the detail screen. They differ in the order
// of the follow-ups and in the message of a refused choice.
enum class Mode { View, Detail };

// The station (1-32) and channel index (0-3) of a global channel number.
inline int stationOf(int channel) { return channel / 4 + 1; }
inline int channelIndexOf(int channel) { return channel % 4; }

// The parameter's register on the channel (0 when it has none there).
std::uint16_t registerOf(const vok::ParameterDefinition& d, int channel);

// Input registers are read-only, and the range registers are locked while the channel's
// input type is 20 or less (a fixed range). 0 when the cell may be written, else the text id
// of the refusal (115).
int refusal(const vok::DataStore& store, const vok::SpecialRegisters& specials, int channel,
            const vok::ParameterDefinition& d);

// Percent mode: an alarm value whose alarm type's pair starts at -30 is typed in percent.
bool percentMode(const vok::ValueFormatter& formatter, int channel, const vok::ParameterDefinition& d);

// A number the way atof reads it (leading blanks, a sign, digits, a point, an exponent;
// whatever follows is ignored; no number at all is 0), independent of the locale.
double readReal(std::string_view text);

// The raw value of typed text by data type (percent mode: as type 0 with the definition's
// decimals), before any limit. `decimals` is the definition's; `channelDecimals` the
// channel's decimal point. A time that is not "h:mm" with minutes up to 59 gives -1, a bit
// pattern that is none of "0000".."1111" gives 16. Nothing for a choice list.
std::optional<std::int64_t> convert(std::string_view text, int dataType, int decimals, int channelDecimals,
                                    bool percent);

// Whether a converted value fits the register word the data type writes: signed types
// -32768..32767, unsigned ones 0..65535 (a larger number must not wrap into a small one).
bool fitsWord(std::int64_t value, int dataType, bool percent);

// The range line above the edit field, as bytes of the text table's encoding.
std::string rangePrompt(const vok::ValueFormatter& formatter, const vok::SpecialRegisters& specials,
                        const vok::TextTable& texts, int channel, const vok::ParameterDefinition& d);

// The unit name that the channel's unit register selects (the first name when it failed).
std::string channelUnitName(const vok::ValueFormatter& formatter, const vok::SpecialRegisters& specials, int channel);

// The number of entries of the code input: maximum - minimum + 1, or, for the decimal-point
// parameter, the largest decimal point of the channel's input type and unit plus one.
int codeEntryCount(const vok::ValueFormatter& formatter, const vok::SpecialRegisters& specials,
                   const vok::ParameterDefinition& d, int channel, const std::string& decimalPointKey);
// The entry preselected for a current value: the value itself, 0 above the maximum, none
// (-1) for a value the entries do not reach.
int codePreselection(const vok::ParameterDefinition& d, std::uint16_t current, int entries);

// The write of an accepted value and what follows it.
class Editor {
public:
    Editor(vok::DataStore& store, vok::DefinitionTables& tables, vok::Workers& workers, const vok::CommSettings& settings);

    // The windows: the "Communication" window for a station and channel, following a
    // command (`row` >= 0, text 123) or reading the station again (row -1, text 119).
    std::function<void(int station, int channel, int row)> openCommunication;
    std::function<void()> refreshTree;
    // A write that the module did not take: the text id and the result code.
    std::function<void(int textId, int result)> onWriteFailed;
    // A refusal (text 115 or 116 or 128).
    std::function<void(int textId)> onRefused;
    // Called with the station index before and after an offline change of the store, so that
    // it can be undone as one step; online changes are on the module and are not.
    std::function<void(int stationIndex)> beforeOfflineChange;
    std::function<void(int stationIndex, const char* what)> afterOfflineChange;
    // Any accepted change of the store, online or offline.
    std::function<void()> onChanged;

    enum class Result { Accepted, Refused, Failed };

    // A typed value, steps 2 to 6: limits and value list (text 116), the write, the edited
    // flag and the follow-ups in the order of `mode`. `current` is the caller's value.
    Result commitValue(int channel, const vok::ParameterDefinition& d, std::uint16_t current, std::int64_t value,
                       Mode mode);
    // A chosen code: the value list (116 in view mode, 128 in the detail screen), the write,
    // the command follow-up and the dependent update.
    Result commitCode(int channel, const vok::ParameterDefinition& d, std::uint16_t current, int code, Mode mode);

    // The dependent update of a changed register (the new value stored already); returns
    // whether something followed (kind 1-12).
    bool dependentUpdate(int channel, int reg, std::uint16_t oldValue);
    // Starts the command monitor for a written command register; whether it started.
    bool commandFollowUp(int channel, int reg, std::uint16_t value);

    vok::ValueFormatter formatter() const;

private:
    // The write itself: online through the module, offline into the store.
    Result write(int channel, const vok::ParameterDefinition& d, std::uint16_t current, std::uint16_t raw);

    vok::DataStore& m_store;
    vok::DefinitionTables& m_tables;
    vok::Workers& m_workers;
    const vok::CommSettings& m_settings;
};

} // namespace edit
