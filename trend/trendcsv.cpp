#include "trendcsv.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace trendplot {

namespace {

// The cells of a line: each cell ends with a comma.
std::vector<std::string_view> cells(std::string_view line)
{
    std::vector<std::string_view> out;
    std::size_t at = 0;
    for (std::size_t comma; (comma = line.find(',', at)) != std::string_view::npos; at = comma + 1)
        out.push_back(line.substr(at, comma - at));
    if (at < line.size())
        out.push_back(line.substr(at));
    return out;
}

bool number(std::string_view cell, double& v)
{
    if (cell.empty())
        return false;
    std::size_t i = 0;
    if (cell[0] == '+')
        i = 1;
    const auto [end, ec] = std::from_chars(cell.data() + i, cell.data() + cell.size(), v, std::chars_format::fixed);
    return ec == std::errc() && end == cell.data() + cell.size() && std::isfinite(v);
}

} // namespace

bool readTrendLog(std::string_view text, TrendData& out, std::string* error)
{
    out = TrendData();
    out.ring = false;
    out.penDefsReady = true;
    out.groupName = "DataTrend.csv";
    auto fail = [&](int line, const std::string& why) {
        if (error)
            *error = "line " + std::to_string(line) + ": " + why;
        return false;
    };
    std::vector<std::string_view> lines;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find("\r\n", at)) != std::string_view::npos; at = end + 2)
        lines.push_back(text.substr(at, end - at));
    const bool cut = at < text.size();
    if (lines.size() < 3)
        return fail(static_cast<int>(lines.size()) + 1, "the log has no three header lines");
    const auto heads = cells(lines[0]), items = cells(lines[1]), units = cells(lines[2]);
    for (int h = 0; h < 3; ++h) {
        if (cells(lines[static_cast<std::size_t>(h)]).size() != 9)
            return fail(h + 1, "a header line has nine cells, each ended by a comma");
    }
    std::array<double, kPens> lo, hi;
    lo.fill(std::numeric_limits<double>::infinity());
    hi.fill(-std::numeric_limits<double>::infinity());
    for (int p = 0; p < kPens; ++p) {
        PenData& pen = out.pens[static_cast<std::size_t>(p)];
        const std::string_view h = heads[static_cast<std::size_t>(p + 1)];
        pen.used = pen.valid = !h.empty();
        if (!pen.used)
            continue;
        // "station-(channel)"
        pen.stationIndex = std::max(0, std::atoi(std::string(h).c_str()) - 1);
        if (const std::size_t open = h.find('('); open != std::string_view::npos)
            pen.channelIndex = std::max(0, std::atoi(std::string(h.substr(open + 1)).c_str()) - 1);
        pen.itemName = std::string(items[static_cast<std::size_t>(p + 1)]);
        pen.unit = std::string(units[static_cast<std::size_t>(p + 1)]);
    }
    bool ok = true;
    for (std::size_t l = 3; l < lines.size(); ++l) {
        const auto c = cells(lines[l]);
        if (c.size() != 9 || c[0].size() != 19) {
            ok = fail(static_cast<int>(l) + 1, "a data line has a time and eight values, each ended by a comma");
            break;
        }
        TrendData::Stamp stamp;
        std::memcpy(stamp.text, c[0].data(), std::min(c[0].size(), sizeof stamp.text - 1));
        out.stamps.push_back(stamp);
        for (int p = 0; p < kPens; ++p) {
            PenData& pen = out.pens[static_cast<std::size_t>(p)];
            double v = 0;
            const std::string_view cell = c[static_cast<std::size_t>(p + 1)];
            if (!number(cell, v)) {
                pen.samples.push_back(kNoValue);
                continue;
            }
            pen.samples.push_back(v);
            lo[static_cast<std::size_t>(p)] = std::min(lo[static_cast<std::size_t>(p)], v);
            hi[static_cast<std::size_t>(p)] = std::max(hi[static_cast<std::size_t>(p)], v);
            if (const std::size_t dot = cell.find('.'); dot != std::string_view::npos)
                pen.decimals = std::max(pen.decimals, static_cast<int>(std::min<std::size_t>(cell.size() - dot - 1, 9)));
        }
    }
    if (ok && cut)
        ok = fail(static_cast<int>(lines.size()) + 1, "the last line was cut short (no line end)");
    for (int p = 0; p < kPens; ++p) {
        PenData& pen = out.pens[static_cast<std::size_t>(p)];
        double a = lo[static_cast<std::size_t>(p)], b = hi[static_cast<std::size_t>(p)];
        if (!(a <= b)) {
            a = 0;
            b = 1;
        } else if (a == b) {
            a -= 1;
            b += 1;
        }
        pen.scaleMin = a;
        pen.scaleMax = b;
    }
    out.newest = out.stamps.empty() ? -1 : static_cast<int>(out.stamps.size()) - 1;
    return ok;
}

} // namespace trendplot
