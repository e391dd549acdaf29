#pragma once
// What a redraw of the trend draws, computed without a window: the pens' lines clipped to the
// plot, the time and value labels, the grid and the pen table. The data come from the shared
// section (a ring of 1100 slots) or from a recorded log (a row of any length); anything a
// section may hold is taken apart safely, whatever garbage it holds.

#include <array>
#include <cstdint>
#include <optional>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace vok {
struct TrendBuffer;
}

namespace trendplot {

inline constexpr int kPens = 8;
inline constexpr double kNoValue = -9999.0;
inline constexpr int kLabelEntries = 18;

struct PenData {
    bool used = false;
    bool valid = false;
    int stationIndex = 0;
    int channelIndex = 0;
    int decimals = 0;
    double scaleMax = 0;
    double scaleMin = 0;
    std::string itemName;
    std::string unit;
    std::vector<double> samples; // one per slot
};

struct TrendData {
    std::string groupName;
    bool penDefsReady = false;
    std::array<PenData, kPens> pens;
    // The time stamp of each slot, "%04d/%02d/%02d %02d:%02d:%02d" ("" where no cycle wrote
    // it), kept as the section keeps it: no allocation per slot on every redraw.
    struct Stamp {
        char text[21] = {};
        std::string_view view() const { return {text, strnlen(text, sizeof text)}; }
    };
    std::vector<Stamp> stamps;
    int newest = -1;                 // the slot of the newest sample, -1 for none
    bool ring = true;                // slots wrap (the section); a log's row does not
    int slots() const { return static_cast<int>(stamps.size()); }
};

// A copy of the section taken apart: texts cut at their fields, a newest slot outside the
// ring taken as none, samples that are no numbers as gaps.
TrendData fromSection(const vok::TrendBuffer& buffer);

struct Op {
    enum Kind { Move, Line } kind;
    int x;
    int y;
};

struct LabelEntry {
    bool set = false;
    int slot = 0;
    int x = 0;
};

struct TextAt {
    int x;
    int y;
    std::string text;
};

struct Frame {
    int width = 0;  // W
    int height = 0; // H
    std::array<std::vector<Op>, kPens> paths; // per pen, in plot coordinates
    std::array<LabelEntry, kLabelEntries> labels{};
    // In the time-label strip: the newest full time stamp, then hh:mm:ss per label.
    std::vector<TextAt> timeLabels;
    // In the value-label strip: five labels of the selected scale pen, and "×1000".
    std::vector<TextAt> valueLabels;
    int valueLabelPen = 0;
    std::vector<int> gridY;
    std::vector<int> gridX;
    std::string groupName;
    struct Row {
        std::string loop, item, unit;
    };
    std::array<Row, kPens> rows;
    // The newest value of each pen that has one; a pen without keeps its field's text.
    std::array<std::optional<std::string>, kPens> values;
};

// Everything one redraw shows, for a plot of `width` x `height` pixels; `cw` is
// the width of the character "a" of the label font.
Frame computeFrame(const TrendData& data, int width, int height, int scalePen, int cw);

// "%.<decimals>f" of a value, decimals held to 0-9.
std::string formatFixed(double value, int decimals);

// The values of the pens at an x of the plot (for the tooltip): the slot and its time, and
// each used pen's value text ("-" for a gap).
struct Probe {
    int slot = -1;
    std::string time;
    std::array<std::optional<std::string>, kPens> values;
};
Probe probe(const TrendData& data, int width, int x);

} // namespace trendplot
