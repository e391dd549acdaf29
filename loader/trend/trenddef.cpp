#include "trenddef.h"

#include "fileutil.h"
#include "format.h"
#include "store.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace vok {

double cutToHundredths(double value)
{
    if (!std::isfinite(value))
        return 0;
    // A hair toward the sign keeps 12.34 from becoming 12.33 through the float's error.
    const double scaled = value * 100.0;
    return std::trunc(scaled + (scaled >= 0 ? 1e-7 : -1e-7)) / 100.0 + 0.0;
}

double readNumber(std::string_view text)
{
    std::size_t i = text.find_first_not_of(" \t");
    if (i == std::string_view::npos)
        return 0;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-')
        negative = text[i++] == '-';
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), v, std::chars_format::general);
    (void)end;
    if (ec != std::errc())
        return 0;
    return negative ? -v : v;
}

namespace {

// One comma-separated field of a line; `last` when the line ends after it.
std::string_view nextField(std::string_view line, std::size_t& pos, bool& last)
{
    const std::size_t comma = line.find(',', pos);
    std::string_view field;
    if (comma == std::string_view::npos) {
        field = line.substr(std::min(pos, line.size()));
        pos = line.size();
        last = true;
    } else {
        field = line.substr(pos, comma - pos);
        pos = comma + 1;
        last = false;
    }
    return field;
}

int indexOf(std::string_view field)
{
    const long n = std::strtol(std::string(field.substr(0, 8)).c_str(), nullptr, 10);
    return n <= 0 ? 0 : static_cast<int>(std::min<long>(n, 1000)) - 1;
}

} // namespace

TrendGroup TrendDefinitions::usableGroup(int group) const
{
    TrendGroup g = groups[static_cast<std::size_t>(group)];
    for (int p = 0; p < 8; ++p) {
        TrendPenDef& pen = g.pens[static_cast<std::size_t>(p)];
        // What the file said, and what the pens hold now (the dialog may have changed them).
        if (penBroken[static_cast<std::size_t>(group)][static_cast<std::size_t>(p)] || pen.stationIndex >= kStations
            || (pen.stationIndex >= kControlStations && pen.channelIndex > 0)
            || penDefinition[static_cast<std::size_t>(group)][static_cast<std::size_t>(p)].key.empty())
            pen.unused = true;
    }
    return g;
}

namespace {

std::string penName(int group, int pen)
{
    return "Group " + std::to_string(group) + ", pen " + std::to_string(pen);
}

long fieldNumber(std::string_view field)
{
    return std::strtol(std::string(field.substr(0, 8)).c_str(), nullptr, 10);
}

} // namespace

void TrendDefinitions::read(std::string_view text, const std::string& noneItem)
{
    problems.clear();
    penBroken = {};
    std::size_t searchFrom = 0;
    for (int n = 1; n <= kTrendGroups; ++n) {
        // "Group1" also stands at the start of "Group10": the search goes on from where the
        // previous group ended, so each group is found on its own line.
        const std::size_t at = text.find("Group" + std::to_string(n), searchFrom);
        if (at == std::string_view::npos)
            continue; // left as it was; the later groups are searched from the last place found
        TrendGroup& g = groups[static_cast<std::size_t>(n - 1)];
        std::size_t lineEnd = text.find("\r\n", at);
        if (lineEnd == std::string_view::npos)
            lineEnd = text.size();
        const std::string_view groupLine = text.substr(at, lineEnd - at);
        std::size_t pos = 0;
        bool last = false;
        nextField(groupLine, pos, last); // the word and the number
        g.cycle = last ? 0 : std::atoi(std::string(nextField(groupLine, pos, last).substr(0, 4)).c_str());
        g.name = last ? std::string() : std::string(nextField(groupLine, pos, last).substr(0, kTrendNameLength));
        std::size_t cursor = std::min(lineEnd + 2, text.size());
        bool cut = false;
        for (int p = 0; p < 8; ++p) {
            TrendPenDef& pen = g.pens[static_cast<std::size_t>(p)];
            std::size_t end = text.find("\r\n", cursor);
            if (end == std::string_view::npos)
                end = text.size();
            const std::string_view line = text.substr(cursor, end - cursor);
            std::string_view f[6];
            std::size_t at = 0;
            bool lineDone = false;
            int fields = 0;
            while (fields < 6 && !lineDone)
                f[fields++] = nextField(line, at, lineDone);
            bool whole = fields == 6 && cursor < text.size();
            for (int k = 0; k < fields && whole; ++k)
                whole = !f[k].empty();
            if (!whole) {
                // This pen and the rest of the group: unused; the line is not passed.
                if (!cut && cursor < text.size())
                    problems.push_back(penName(n, p + 1) + ": the line has missing or empty columns; it and the rest of the "
                                                         "group are left empty");
                cut = true;
                pen.unused = true;
                continue;
            }
            pen.stationIndex = indexOf(f[1]);
            pen.channelIndex = std::min(indexOf(f[2]), 3);
            // A station is never wrapped into another, and a channel is one the station has.
            const long station = fieldNumber(f[1]);
            const long channel = fieldNumber(f[2]);
            const bool unusedItem = !noneItem.empty() && std::string(f[3]).find(noneItem) != std::string::npos;
            if (!unusedItem && station > kStations) {
                problems.push_back(penName(n, p + 1) + ": station " + std::to_string(station) + " is above "
                                   + std::to_string(kStations) + "; the pen is left empty");
                penBroken[static_cast<std::size_t>(n - 1)][static_cast<std::size_t>(p)] = true;
            } else if (!unusedItem && (channel > 4 || (station > kControlStations && channel > 1))) {
                problems.push_back(penName(n, p + 1) + ": station " + std::to_string(station) + " has no channel "
                                   + std::to_string(channel) + "; the pen is left empty");
                penBroken[static_cast<std::size_t>(n - 1)][static_cast<std::size_t>(p)] = true;
            }
            pen.itemName = std::string(f[3].substr(0, kTrendNameLength));
            pen.scaleMin = readNumber(f[4]);
            pen.scaleMax = readNumber(f[5]);
            pen.unused = !noneItem.empty() && pen.itemName.find(noneItem) != std::string::npos;
            cursor = std::min(end + 2, text.size());
        }
        searchFrom = cursor;
    }
}

int TrendDefinitions::displayDecimals(const ParameterDefinition& d, const ValueFormatter& formatter, int channel)
{
    switch (d.dataType) {
    case 0: return d.decimals;
    case 1:
    case 7:
    case 8: return formatter.channelDecimals(channel, d.decimals);
    default: return 0;
    }
}

std::string TrendDefinitions::text(const ValueFormatter& formatter) const
{
    std::string out;
    for (int n = 0; n < kTrendGroups; ++n) {
        const TrendGroup& g = groups[static_cast<std::size_t>(n)];
        out += "Group" + std::to_string(n + 1) + "," + std::to_string(g.cycle == 0 ? 1 : g.cycle) + "," + g.name + ",,,\r\n";
        for (int p = 0; p < 8; ++p) {
            const TrendPenDef& pen = g.pens[static_cast<std::size_t>(p)];
            const ParameterDefinition& d = penDefinition[static_cast<std::size_t>(n)][static_cast<std::size_t>(p)];
            const int channel = 4 * pen.stationIndex + pen.channelIndex;
            // Without a definition the two decimals the dialog keeps.
            const int decimals = d.key.empty() ? 2 : displayDecimals(d, formatter, channel);
            out += std::to_string(p + 1) + "," + std::to_string(pen.stationIndex + 1) + "," + std::to_string(pen.channelIndex + 1)
                + "," + pen.itemName + "," + formatReal(pen.scaleMin, decimals) + "," + formatReal(pen.scaleMax, decimals)
                + "\r\n";
        }
    }
    return out;
}

void TrendDefinitions::lookUpItems(std::string_view add)
{
    for (int g = 0; g < kTrendGroups; ++g) {
        for (int p = 0; p < 8; ++p) {
            const std::string& name = groups[static_cast<std::size_t>(g)].pens[static_cast<std::size_t>(p)].itemName;
            // An empty name would match at the start and take the first row.
            if (name.empty())
                continue;
            const std::size_t at = add.find(name);
            if (at == std::string_view::npos)
                continue;
            const std::size_t crlf = add.find("\r\n", at >= 16 ? at - 16 : 0);
            if (crlf == std::string_view::npos)
                continue;
            std::size_t row = crlf + 2;
            // No line end between the look-back and the name: the name stands in the first
            // line (its row starts the file); further back it is no row's name at all.
            if (crlf > at) {
                if (at >= 16)
                    continue;
                row = 0;
            }
            ParameterDefinition& d = penDefinition[static_cast<std::size_t>(g)][static_cast<std::size_t>(p)];
            d = ParameterDefinition();
            parseDefinition(add.substr(row), d);
        }
    }
    // A pen whose item the list does not hold has nothing to read.
    for (int g = 0; g < kTrendGroups; ++g) {
        for (int p = 0; p < 8; ++p) {
            const TrendPenDef& pen = groups[static_cast<std::size_t>(g)].pens[static_cast<std::size_t>(p)];
            bool& broken = penBroken[static_cast<std::size_t>(g)][static_cast<std::size_t>(p)];
            if (pen.unused || broken || !penDefinition[static_cast<std::size_t>(g)][static_cast<std::size_t>(p)].key.empty())
                continue;
            const std::string said = penName(g + 1, p + 1) + ": the item \"" + pen.itemName + "\" is not in the list";
            if (std::find(problems.begin(), problems.end(), said + "; the pen is left empty") == problems.end())
                problems.push_back(said + "; the pen is left empty");
            broken = true;
        }
    }
}

bool TrendDefinitions::readFile(const std::string& path, const std::string& noneItem)
{
    auto bytes = readWholeFile(path);
    if (!bytes)
        return false;
    read(bytes->view(), noneItem);
    return true;
}

bool TrendDefinitions::writeFile(const std::string& path, const ValueFormatter& formatter, std::string* error) const
{
    // A mend of the line-by-line rewrite: a crash never leaves half a file.
    return replaceFile(path, text(formatter), error) == WriteResult::Ok;
}

void TrendDefinitions::lookUpItemsInFile(const std::string& addContListPath)
{
    if (auto bytes = readWholeFile(addContListPath))
        lookUpItems(bytes->view());
}

} // namespace vok
