#pragma once
// The ten trend groups of eight pens, their file "DataTrendDefine.csv" in the language
// folder, and the parameter definitions of the pens' items.

#include "definitions.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

class ValueFormatter;

inline constexpr int kTrendGroups = 10;
inline constexpr std::size_t kTrendNameLength = 32;

struct TrendPenDef {
    bool unused = true;
    int stationIndex = 0; // station number - 1
    int channelIndex = 0; // channel number - 1
    std::string itemName; // as shown in the item list, bytes of the language folder
    double scaleMin = 0;
    double scaleMax = 0;
};

struct TrendGroup {
    std::string name; // only ever from the file
    int cycle = 0;    // seconds; 0 is shown and stored as 1
    std::array<TrendPenDef, 8> pens;
};

// A real cut toward zero to two decimals, as the dialog stores Min and Max.
double cutToHundredths(double value);
// Reads a number of the file or of a field as atof does: the leading number, 0 for none.
double readNumber(std::string_view text);

class TrendDefinitions {
public:
    std::array<TrendGroup, kTrendGroups> groups;
    // The parameter definition of each pen's item; kept when an item is not found.
    std::array<std::array<ParameterDefinition, 8>, kTrendGroups> penDefinition;
    // What the file says that no pen can log: "Group 2, pen 3: ...", one line each, and
    // which pens they leave empty.
    std::vector<std::string> problems;
    std::array<std::array<bool, 8>, kTrendGroups> penBroken{};

    // A group as logging takes it: the pens with a problem are left empty. The groups
    // themselves keep what the file said, so that the dialog writes it back unchanged.
    TrendGroup usableGroup(int group) const;

    // Reads the groups from the file's text: group n from where group n - 1 ended; a missing
    // group line leaves that group as it was and the search goes on from the last position
    // found; a pen line with a missing or empty field makes that pen and the rest of its
    // group unused. `noneItem` is the item list's entry 0: a pen whose item contains it is
    // unused.
    void read(std::string_view text, const std::string& noneItem);
    // The file's text: group lines "Group<n>,<cycle>,<name>,,," and pen lines
    // "<pen>,<station>,<channel>,<item>,<min>,<max>", each ended by CR LF. Min and Max are
    // written with the decimals of the item's display.
    std::string text(const ValueFormatter& formatter) const;

    // Looks up each pen's item in the text of "AddContList.csv": its row is the one that
    // starts after the first CR LF behind the position 16 characters before the name.
    void lookUpItems(std::string_view addContList);

    // Reads and writes the file itself (written through a temporary file and a rename).
    bool readFile(const std::string& path, const std::string& noneItem);
    bool writeFile(const std::string& path, const ValueFormatter& formatter, std::string* error = nullptr) const;
    void lookUpItemsInFile(const std::string& addContListPath);

    // The decimals a pen's values are shown with: the definition's for kind 0, the channel's
    // decimal point for kinds 1, 7 and 8, none otherwise.
    static int displayDecimals(const ParameterDefinition& d, const ValueFormatter& formatter, int channel);
};

} // namespace vok
