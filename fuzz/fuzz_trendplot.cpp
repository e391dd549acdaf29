// Random section images into the trend drawing: nothing outside the plot, no crash, no hang.

#include "trendbuffer.h"
#include "trendplot.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 8)
        return 0;
    // A section of eight pens in use, with the input written over it from a place it chooses.
    auto b = std::make_unique<vok::TrendBuffer>();
    std::memset(b.get(), 0, sizeof *b);
    b->penDefsReady = 1;
    b->newestSlot = 1099;
    for (vok::TrendPen& p : b->pens) {
        p.used = p.valid = 1;
        p.scaleMax = 100;
        for (int i = 0; i < vok::TREND_SLOTS; ++i)
            p.samples[i] = (i * 37) % 150 - 25;
    }
    const std::size_t at = ((data[0] << 16) | (data[1] << 8) | data[2]) % sizeof *b;
    const std::size_t n = std::min(size - 8, sizeof *b - at);
    std::memcpy(reinterpret_cast<char*>(b.get()) + at, data + 8, n);
    const int W = 1 + ((data[3] << 8) | data[4]) % 2000;
    const int H = 1 + ((data[5] << 8) | data[6]) % 1200;
    const trendplot::TrendData d = trendplot::fromSection(*b);
    const trendplot::Frame f = trendplot::computeFrame(d, W, H, data[7] % 8, 7);
    for (const auto& path : f.paths) {
        for (const trendplot::Op& op : path) {
            if (op.x < 0 || op.x >= W || op.y < 0 || op.y > H)
                std::abort();
        }
    }
    trendplot::probe(d, W, data[7] * 7);
    return 0;
}
