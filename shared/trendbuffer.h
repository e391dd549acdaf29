#pragma once
// The shared trend section "LDTrendBuffer" between the loader (writer) and Trend (reader):
// 94352 bytes, little-endian, no lock. The layout below is the whole contract; the offsets
// are checked at compile time.

#include <cstddef>
#include <cstdint>
#include <atomic>
#include <string>

namespace vok {

inline constexpr int TREND_PENS = 8;
inline constexpr int TREND_SLOTS = 1100;
inline constexpr double TREND_NO_VALUE = -9999.0;
inline constexpr std::size_t kTrendBufferSize = 94352;

#pragma pack(push, 1)
struct TrendPen {
    std::int32_t used;
    std::int32_t valid;
    std::int32_t stationIndex;
    std::int32_t channelIndex;
    std::int32_t decimals;
    std::int32_t valueKind;
    double scaleMax;
    double scaleMin;
    char itemName[33];
    char unit[23];
    double samples[TREND_SLOTS];
};

struct TrendBuffer {
    std::int32_t viewerOpen;
    std::int32_t penDefsReady;
    std::int32_t newestSlot;
    char groupName[33];
    char timeStamps[TREND_SLOTS][21];
    std::uint8_t reserved[7];
    TrendPen pens[TREND_PENS];
    std::int32_t sampleCounts[TREND_PENS];
};
#pragma pack(pop)

static_assert(sizeof(TrendPen) == 8896);
static_assert(offsetof(TrendPen, scaleMax) == 24);
static_assert(offsetof(TrendPen, itemName) == 40);
static_assert(offsetof(TrendPen, unit) == 73);
static_assert(offsetof(TrendPen, samples) == 96);
static_assert(offsetof(TrendBuffer, groupName) == 12);
static_assert(offsetof(TrendBuffer, timeStamps) == 45);
static_assert(offsetof(TrendBuffer, reserved) == 23145);
static_assert(offsetof(TrendBuffer, pens) == 23152);
static_assert(offsetof(TrendBuffer, sampleCounts) == 94320);
static_assert(sizeof(TrendBuffer) == kTrendBufferSize);

// The POSIX shared memory name: "/LDTrendBuffer" with the user's id, so that two users of
// one machine do not share a trend ($VOK_TREND_SECTION, when set, names another).
std::string trendSectionName();

// The named section, mapped whole. Both programs create it when it does not exist yet.
class TrendSection {
public:
    TrendSection() = default;
    ~TrendSection();
    TrendSection(const TrendSection&) = delete;
    TrendSection& operator=(const TrendSection&) = delete;

    // Creates or opens the section; false with a reason.
    bool open(std::string* error = nullptr, const std::string& name = trendSectionName());
    bool isOpen() const { return m_buffer != nullptr; }

    TrendBuffer* buffer() { return m_buffer; }
    const TrendBuffer* buffer() const { return m_buffer; }

    // True once another process cut the section short under this mapping: the access that
    // met the missing pages got private zeros instead of a SIGBUS, and the section no longer
    // reaches anyone else. Its owner says so and goes on without it.
    bool broken() const { return m_broken.load() != 0; }
    const std::string& name() const { return m_name; }

    // Every byte 0 (the start of logging).
    void clear();
    // Every byte 0 and no sample yet (the loader's start).
    void reset();
    // viewerOpen = 0, unmapped; `unlink` removes the name too (the loader at its exit).
    bool release(bool unlink = false);

private:
    TrendBuffer* m_buffer = nullptr;
    std::string m_name;
    std::atomic<int> m_broken{0};
    int m_guard = -1;
};

} // namespace vok
