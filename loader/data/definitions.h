#pragma once
// The definition tables of a language folder: main lists (which parameters exist) and
// additional lists (their full definitions), and what is derived from them at start-up: the
// register maps, the special registers, the default values of a new station set.

#include "fileutil.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace vok {

class DataStore;
class TextTable;

enum class ListType : int {
    Favorite = 0,
    Function = 1,
    Event = 2,
    Analog = 3,
    AnalogAi = 4,
    AnalogAo = 5,
    Com = 6,
    ProfCom = 7,
    FavoriteCom = 10,
    FavoriteProfCom = 11,
};

// Result codes of the table operations.
enum TableResult : int { kTableOk = 0, kTableCannotOpen = -1, kTableKeyAbsent = -2, kTableBadRow = -3 };

// Field limits of a definition row.
inline constexpr std::size_t kKeyLength = 8;
inline constexpr std::size_t kNameLength = 64;
inline constexpr std::size_t kLabelLength = 7;
inline constexpr std::size_t kCommentLength = 128;
inline constexpr std::size_t kExtraTextLength = 32;
inline constexpr std::size_t kFileNameLength = 64;
inline constexpr std::size_t kNumberLength = 32;
inline constexpr std::size_t kValueListLimit = 400;
// Raw values above 255 never select a choice, so no list needs more.
inline constexpr int kMaxChoices = 256;

struct DefaultValue {
    std::string label;
    double value = 0;        // real value, or the hexadecimal value for dataType 4
};

struct ParameterDefinition {
    int group = 0;
    std::string key;
    std::string name;
    std::array<std::uint16_t, 4> registers{};
    bool moduleWide = false;
    int dataType = 0;
    double minimum = 0;      // for dataType 4 a 32-bit unsigned hexadecimal value
    double maximum = 0;
    int decimals = 0;
    std::string unitText;    // for a choice list the text of choice 0
    int defaultCount = 0;
    std::array<DefaultValue, 10> defaults{};
    std::string comment;
    std::string extraText;
    std::array<std::string, 4> valueListFiles{};
    // The values a channel does not accept; shared between copies of a definition.
    std::array<std::shared_ptr<const std::vector<std::int32_t>>, 4> valueLists{};
    std::array<std::pair<std::int32_t, std::int32_t>, 3> ranges{}; // channels 2-4
    int channelLimit = 0;
    std::vector<std::string> choices; // choice 1 on; choice 0 is unitText

    // Choice text i (0 is unitText); empty past the list.
    const std::string& choiceText(int i) const;
    int choiceCount() const { return 1 + static_cast<int>(choices.size()); }
};

// A real from a data file as a 32-bit or 64-bit integer: truncated, and held at the type's
// limits instead of overflowing (NaN gives 0).
std::int32_t saturateInt32(double value);
long long saturateInt64(double value);

// One field: the text up to the nearer of the next "," and the next CR LF, cut at
// `maxChars`. `cursor` moves behind the separator. Returns 1 for a non-empty field.
int readField(std::string_view text, std::size_t& cursor, std::size_t maxChars, std::string& out, bool& endOfRow);
// The next line with its CR LF; returns the position after it, or -99 when no CR LF follows.
long long readLine(std::string_view text, std::string& out, std::size_t from);

// Parses the row that starts `fromRow` (which runs on to the end of the file, for the choice
// lines of a choice list). Value-list files are not read here. 0, or -3 when the row has no
// key or a register field that is no register number.
int parseDefinition(std::string_view fromRow, ParameterDefinition& definition);

// Every row of an additional list that parses (choice lines and comments are skipped).
std::vector<ParameterDefinition> allDefinitions(std::string_view text);

// Parses a value-list file: integers separated by commas or line ends (hexadecimal for
// dataType 4), at most 20 characters each, at most 400 values.
std::vector<std::int32_t> parseValueList(std::string_view text, bool hexadecimal);

// Whether a default's label selects a station with this identification.
bool defaultLabelMatches(const std::string& label, const std::uint16_t (&identification)[13]);

// Special registers: rows of the additional list whose keys are texts of the text table.
enum class SpecialRole : int {
    RangeUpper, RangeLower, DecimalPoint, Unit, Identification, Status, ConnectionCheck,
    InputType, AlarmType1, AlarmType2, AlarmType3, AlarmType4, AlarmType5,
    LimitLower, LimitUpper, LimitedValue,
    AlarmValue1, AlarmValue2, AlarmValue3, AlarmValue4, AlarmValue5,
    AlarmSecond1, AlarmSecond2, AlarmSecond3, AlarmSecond4, AlarmSecond5,
    Command1, Command2, Command3, Command4,
    Presence, Extra, FourthSetting,
    Count
};
inline constexpr int kSpecialRoles = static_cast<int>(SpecialRole::Count);

// The text id whose text is the key of a role's row.
int specialRoleTextId(SpecialRole role);
const char* specialRoleName(SpecialRole role);
// Families 1 and 2 read only these roles.
bool specialRoleForCommFamilies(SpecialRole role);

struct SpecialRegisters {
    struct Row {
        bool found = false;
        std::string key;
        std::array<std::uint16_t, 4> registers{};
    };
    std::array<Row, kSpecialRoles> rows{};
    // Command registers watched after a write: [channel][row].
    std::array<std::array<std::uint16_t, 4>, 4> commandMonitor{};
    // The unit row's first four choices, at most 8 characters each.
    std::array<std::string, 4> unitNames{};

    const Row& row(SpecialRole role) const { return rows[static_cast<int>(role)]; }
    // The role's register for channel index 0-3 (0 when the row is missing).
    std::uint16_t reg(SpecialRole role, int channel) const { return row(role).registers[channel & 3]; }
};

// Download exclusion: for a control station whose stored condition value is 47 or more,
// the two registers are not written.
struct ExclusionEntry {
    std::uint16_t condition = 0;
    std::uint16_t first = 0;
    std::uint16_t second = 0;
};
inline constexpr int kExclusionEntries = 20;
inline constexpr int kPreDownloadRegisters = 48;

inline constexpr int kMapKinds = 5;
struct RegisterMaps {
    std::array<std::array<std::uint8_t, 10000>, kMapKinds> inputMap{};       // 30000 + i
    std::array<std::array<std::uint8_t, 10000>, kMapKinds> holdingKind{};    // 40000 + i: 1, 7, 8, 55 or 0
    std::array<std::array<std::uint8_t, 10000>, kMapKinds> holdingChannel{}; // 40000 + i: 1-4
    void clear() { *this = RegisterMaps(); }
};

class DefinitionTables {
public:
    // `languageFolder` holds the lists; `family` selects the lists of families 1 and 2.
    explicit DefinitionTables(std::string languageFolder, int family = 0);
    // Starts over on another folder or family: every file read so far and everything derived
    // from them are dropped (a language change, the family chosen at start-up).
    void reset(std::string languageFolder, int family);

    int family() const { return m_family; }
    const std::string& folder() const { return m_folder; }

    static const char* mainListName(ListType type);
    // The additional list; for Favorite it depends on the family and the favourites group.
    const char* addListName(ListType type, int favoriteGroup = 0) const;
    int listFilePath(ListType type, std::string& out) const;
    int addListFilePath(ListType type, std::string& out, int favoriteGroup = 0) const;

    int findDefinition(ListType type, std::string_view key, ParameterDefinition& definition, int favoriteGroup = 0);
    // The row whose name (third field) is `name`, where at most 14 characters stand before
    // the name on its line: the row a search for ",name," parses. 0, -1 or -2.
    int findByName(const std::string& addList, std::string_view name, ParameterDefinition& definition);

    struct Group {
        int result = 0; // the count, or a negative code
        std::vector<ParameterDefinition> definitions;
    };
    Group loadGroup(ListType type, int group, int favoriteGroup = 0);

    // The keys of a main list in row order (third field of each row after the first).
    std::vector<std::string> mainListKeys(ListType type);

    // Which parameter a register of a station holds, from the additional lists of the
    // family (the control or the event side); the first row that names it wins.
    struct RegisterOwner {
        ParameterDefinition definition;
        int channel = 0; // 0-3
    };
    std::map<int, RegisterOwner> registerOwners(bool control);

    void buildRegisterMaps();
    // What a transfer along map kind `kind` (0 the control side, 1 the event side) cannot
    // rely on in the language folder: a missing, empty or unreadable list, keys of the main
    // list that its additional list lacks, no register at all. Empty when all is there.
    std::string mapProblem(int kind);
    int applyDefaults(ListType type, DataStore& store);
    // Reads the special rows with keys from the text table, the command monitor table, the
    // unit names, the download exclusion table and the pre-download list.
    void loadSpecialRegisters(const TextTable& texts);

    const RegisterMaps& maps() const { return *m_maps; }
    const SpecialRegisters& specials() const { return m_specials; }
    const std::array<ExclusionEntry, kExclusionEntries>& exclusions() const { return m_exclusions; }
    const std::array<std::uint16_t, kPreDownloadRegisters>& preDownload() const { return m_preDownload; }

    // Set while the program shuts down: long scans end early.
    void requestStop() { m_stop = true; }

private:
    struct Table {
        std::optional<FileBytes> bytes;
        std::unordered_map<std::string, std::size_t> keyRows; // key -> offset of its row
        std::unordered_set<std::string> lastFields;           // keys standing at a row's end
        std::unordered_map<std::string, std::size_t> nameRows; // name -> offset of its row
    };
    const Table* table(const std::string& fileName);
    int findIn(const std::string& addList, std::string_view key, ParameterDefinition& definition);
    // The row of a key (or of a name) through the file's index, parsed.
    int findRow(const std::string& addList, bool byName, std::string_view text, ParameterDefinition& definition);
    void loadValueLists(ParameterDefinition& definition);
    ListType mapListType(int kind) const;

    std::string m_folder;
    int m_family;
    bool m_stop = false;
    std::map<std::string, Table> m_tables;
    std::map<std::string, std::shared_ptr<const std::vector<std::int32_t>>> m_valueLists;
    std::unique_ptr<RegisterMaps> m_maps;
    SpecialRegisters m_specials;
    std::array<ExclusionEntry, kExclusionEntries> m_exclusions{};
    std::array<std::uint16_t, kPreDownloadRegisters> m_preDownload{};
};

} // namespace vok
