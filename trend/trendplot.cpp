#include "trendplot.h"

#include "trendbuffer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace trendplot {

namespace {

template <std::size_t N>
std::string fieldText(const char (&field)[N])
{
    return std::string(field, strnlen(field, N));
}

bool isGap(double v)
{
    return v == kNoValue || !std::isfinite(v);
}

// Integers beyond these stay away from overflow in the crossing arithmetic.
constexpr long long kFar = 1'000'000'000LL;

long long truncated(double v)
{
    if (!std::isfinite(v))
        return 0;
    return static_cast<long long>(std::clamp(std::trunc(v), -static_cast<double>(kFar), static_cast<double>(kFar)));
}

int slotAt(const TrendData& d, long long index)
{
    const int n = d.slots();
    if (d.ring)
        return static_cast<int>(((index % n) + n) % n);
    return index < 0 || index >= n ? -1 : static_cast<int>(index);
}

double sampleAt(const PenData& p, int slot)
{
    return slot < 0 || slot >= static_cast<int>(p.samples.size()) ? kNoValue : p.samples[static_cast<std::size_t>(slot)];
}

std::string_view stampAt(const TrendData& d, int slot)
{
    return slot < 0 || slot >= d.slots() ? std::string_view() : d.stamps[static_cast<std::size_t>(slot)].view();
}

// The first slot of the W newest: (newest - W + 1), modulo the ring.
long long firstIndex(const TrendData& d, int width)
{
    return static_cast<long long>(d.newest) - width + 1;
}

// One pen's points as moves and lines inside the plot, by the clipping rules; sets the
// label table when asked.
std::vector<Op> penPath(const TrendData& d, const PenData& pen, int W, int H, std::array<LabelEntry, kLabelEntries>* labels)
{
    std::vector<Op> ops;
    const int s = 1;
    const double span = pen.scaleMax - pen.scaleMin;
    const bool flat = !(span != 0) || !std::isfinite(span);
    auto height = [&](double v) -> long long { return flat ? 0 : truncated((v - pen.scaleMin) * H / span); };
    auto clipY = [&](long long hv) { return static_cast<int>(H - std::clamp<long long>(hv, 0, H)); };
    enum Class { Inside, Above, Below };
    auto classOf = [&](long long hv) { return hv > H ? Above : hv < 0 ? Below : Inside; };

    const long long j0 = firstIndex(d, W);
    int labelSpacing = 0;
    long long prevHv = 0;
    Class prevClass = Inside;
    bool prevGap = false;
    for (int i = 0; i < W; ++i) {
        const int x = i * s;
        if (x >= W)
            break;
        const int slot = slotAt(d, j0 + i);
        const double v = sampleAt(pen, slot);
        const bool gap = isGap(v);
        if (labels && x >= 60 && labelSpacing == 0)
            labelSpacing = x;
        if (labels && labelSpacing > 0 && x > 0 && x % labelSpacing == 0 && x / labelSpacing < kLabelEntries)
            (*labels)[static_cast<std::size_t>(x / labelSpacing)] = {true, slot, x};
        // A gap keeps the height of the point before it; the first point takes 0 for a gap.
        const long long hv = gap ? (i == 0 ? height(0.0) : prevHv) : height(v);
        const Class cls = classOf(hv);
        if (i == 0) {
            ops.push_back({Op::Move, 0, clipY(hv)});
        } else if (gap || prevGap) {
            // A gap moves the pen, and the point after it starts a new line.
            ops.push_back({Op::Move, x, clipY(hv)});
        } else {
            auto crossing = [&](long long num, long long den) { return den == 0 ? 0 : static_cast<int>(s * num / den); };
            auto X = [&](int dx) { return dx < x ? x - dx : x; };
            const long long p = prevHv;
            if (cls == Inside && prevClass == Inside) {
                ops.push_back({Op::Line, x, static_cast<int>(H - hv)});
            } else if (cls == Inside && prevClass == Above) {
                const int dx = crossing(H - hv, p - hv);
                ops.push_back({Op::Move, X(dx), 0});
                ops.push_back({Op::Line, x, static_cast<int>(H - hv)});
            } else if (cls == Inside && prevClass == Below) {
                const int dx = crossing(hv, hv - p);
                ops.push_back({Op::Move, X(dx), H});
                ops.push_back({Op::Line, x, static_cast<int>(H - hv)});
            } else if (cls == Above && prevClass == Inside) {
                const int dx = crossing(hv - H, hv - p);
                ops.push_back({Op::Line, X(dx), 0});
            } else if (cls == Below && prevClass == Inside) {
                const int dx = crossing(-hv, p - hv);
                ops.push_back({Op::Line, X(dx), H});
            } else if (cls == Above && prevClass == Below) {
                const int dx = crossing(hv - H, hv - p);
                const int dx2 = crossing(hv, hv - p);
                ops.push_back({Op::Move, x - dx2, H});
                ops.push_back({Op::Line, x - dx, 0});
            } else if (cls == Below && prevClass == Above) {
                const int dx = crossing(-hv, p - hv);
                const int dx2 = crossing(H - hv, p - hv);
                ops.push_back({Op::Move, x - dx2, 0});
                ops.push_back({Op::Line, x - dx, H});
            }
            // Above after above, below after below: nothing is drawn.
        }
        prevHv = hv;
        prevClass = cls;
        prevGap = gap;
    }
    // Nothing is ever drawn outside the plot.
    for (Op& op : ops) {
        op.x = std::clamp(op.x, 0, std::max(0, W - 1));
        op.y = std::clamp(op.y, 0, H);
    }
    return ops;
}

} // namespace

std::string formatFixed(double value, int decimals)
{
    char buf[64];
    if (!std::isfinite(value))
        return "-";
    std::snprintf(buf, sizeof buf, "%.*f", std::clamp(decimals, 0, 9), std::clamp(value, -1e15, 1e15));
    return buf;
}

TrendData fromSection(const vok::TrendBuffer& b)
{
    TrendData d;
    d.groupName = fieldText(b.groupName);
    d.penDefsReady = b.penDefsReady != 0;
    d.stamps.resize(vok::TREND_SLOTS);
    for (int i = 0; i < vok::TREND_SLOTS; ++i) {
        std::memcpy(d.stamps[static_cast<std::size_t>(i)].text, b.timeStamps[i], sizeof b.timeStamps[i]);
        d.stamps[static_cast<std::size_t>(i)].text[sizeof b.timeStamps[i] - 1] = 0;
    }
    // A slot outside the ring is no sample.
    d.newest = b.newestSlot >= 0 && b.newestSlot < vok::TREND_SLOTS ? b.newestSlot : -1;
    d.ring = true;
    for (int p = 0; p < kPens; ++p) {
        const vok::TrendPen& src = b.pens[p];
        PenData& pen = d.pens[static_cast<std::size_t>(p)];
        pen.used = src.used != 0;
        pen.valid = src.valid != 0;
        pen.stationIndex = src.stationIndex;
        pen.channelIndex = src.channelIndex;
        pen.decimals = std::clamp(src.decimals, 0, 9);
        pen.scaleMax = std::isfinite(src.scaleMax) ? src.scaleMax : 0;
        pen.scaleMin = std::isfinite(src.scaleMin) ? src.scaleMin : 0;
        pen.itemName = fieldText(src.itemName);
        pen.unit = fieldText(src.unit);
        pen.samples.assign(std::begin(src.samples), std::end(src.samples));
    }
    return d;
}

Frame computeFrame(const TrendData& d, int W, int H, int scalePen, int cw)
{
    Frame f;
    f.width = W = std::max(W, 1);
    f.height = H = std::max(H, 1);
    scalePen = std::clamp(scalePen, 0, kPens - 1);
    const bool haveSample = d.newest >= 0 && d.slots() > 0;

    // The pens; the first pen drawn sets the label table.
    if (d.penDefsReady && haveSample) {
        bool first = true;
        for (int p = 0; p < kPens; ++p) {
            const PenData& pen = d.pens[static_cast<std::size_t>(p)];
            if (!pen.used || !pen.valid)
                continue;
            f.paths[static_cast<std::size_t>(p)] = penPath(d, pen, W, H, first ? &f.labels : nullptr);
            first = false;
        }
    }

    // Time labels: the newest time stamp whole, and the time of day of each label.
    if (haveSample) {
        f.timeLabels.push_back({W - 19 * cw + 8, 18, std::string(stampAt(d, d.newest))});
        for (int k = 1; k < kLabelEntries && f.labels[static_cast<std::size_t>(k)].set; ++k) {
            const LabelEntry& e = f.labels[static_cast<std::size_t>(k)];
            const std::string_view stamp = stampAt(d, e.slot);
            const std::size_t blank = stamp.find(' ');
            if (!stamp.empty())
                f.timeLabels.push_back({e.x - 2 * cw + 1, 2, blank == std::string_view::npos ? std::string() : std::string(stamp.substr(blank + 1))});
        }
    }

    // Value labels of the selected scale pen.
    const PenData& sp = d.pens[static_cast<std::size_t>(scalePen)];
    f.valueLabelPen = scalePen;
    const double top = sp.scaleMax;
    const double step = (sp.scaleMax - sp.scaleMin) / 4;
    for (int i = 0; i < 5; ++i) {
        const double v = top - i * step;
        std::string text;
        if (!sp.valid)
            text = "0";
        else if (v > 100000)
            text = formatFixed(v * 0.001, sp.decimals);
        else
            text = formatFixed(v, sp.decimals);
        f.valueLabels.push_back({8, 2 + i * (H / 4), text});
        if (i == 0 && sp.valid && v > 100000)
            f.valueLabels.push_back({24, 18, "\xC3\x97" "1000"});
    }

    // The grid: three horizontal lines, a vertical one at each label.
    for (int k = 1; k <= 3; ++k) {
        const int y = 2 + k * (H / 4);
        if (y < H)
            f.gridY.push_back(y);
    }
    for (int k = 1; k < kLabelEntries && f.labels[static_cast<std::size_t>(k)].set; ++k)
        f.gridX.push_back(f.labels[static_cast<std::size_t>(k)].x);

    f.groupName = d.groupName;
    for (int p = 0; p < kPens; ++p) {
        const PenData& pen = d.pens[static_cast<std::size_t>(p)];
        if (pen.used && pen.valid)
            f.rows[static_cast<std::size_t>(p)] = {std::to_string(pen.stationIndex + 1) + " - " + std::to_string(pen.channelIndex + 1),
                                                   pen.itemName, pen.unit};
        if (d.penDefsReady && pen.used && pen.valid && haveSample) {
            const double v = sampleAt(pen, d.newest);
            f.values[static_cast<std::size_t>(p)] = isGap(v) ? std::string("-") : formatFixed(v, pen.decimals);
        }
    }
    return f;
}

Probe probe(const TrendData& d, int width, int x)
{
    Probe out;
    if (d.newest < 0 || d.slots() == 0 || x < 0 || x >= width)
        return out;
    out.slot = slotAt(d, firstIndex(d, width) + x);
    out.time = std::string(stampAt(d, out.slot));
    for (int p = 0; p < kPens; ++p) {
        const PenData& pen = d.pens[static_cast<std::size_t>(p)];
        if (!d.penDefsReady || !pen.used || !pen.valid)
            continue;
        const double v = sampleAt(pen, out.slot);
        out.values[static_cast<std::size_t>(p)] = isGap(v) ? std::string("-") : formatFixed(v, pen.decimals);
    }
    return out;
}

} // namespace trendplot
