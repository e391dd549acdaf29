#pragma once
// The in-memory image of the 32 stations of a line, the per-register flags beside it and the
// lists derived from presence and model class. Parameter files are this image byte for byte.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vok {

class ModbusMaster;
class Reporter;

inline constexpr int kStations = 32;
inline constexpr int kControlStations = 16;
inline constexpr int kFirstStoredRegister = 30000;
inline constexpr int kLastStoredRegister = 49999;
inline constexpr int kFirstHolding = 40000;
inline constexpr int kHoldingRegisters = 10000;

struct StationRecord {
    std::int32_t present;
    std::uint8_t reserved1[4];
    std::uint16_t identification[13]; // the module code, one character per word
    std::uint8_t reserved2[38];
    std::uint16_t values[20000];      // registers 30000-49999 at index register - 30000
    std::uint8_t edited[10000];       // holding registers 40000-49999 at index register - 40000
};
static_assert(sizeof(StationRecord) == 50072);
static_assert(offsetof(StationRecord, present) == 0);
static_assert(offsetof(StationRecord, identification) == 8);
static_assert(offsetof(StationRecord, values) == 72);
static_assert(offsetof(StationRecord, edited) == 40072);

inline constexpr std::size_t kParameterFileSize = sizeof(StationRecord) * kStations;
// In a parameter file, the first reserved bytes of an incomplete station's record; a complete
// station's record keeps the bytes it had (zeros in every file of the original layout).
inline constexpr std::uint8_t kIncompleteMarker[4] = {'P', 'A', 'R', 'T'};
static_assert(kParameterFileSize == 1602304);

// Model classes by model letter.
enum ModelClass : int { kClassA = 0, kClassB, kClassE, kClassV, kClassN, kClassT, kClassC, kClassNone = -1 };
int modelClassOfLetter(std::uint16_t letter);

// Channel lists: 0 Function, 1 Event, 2 Analog, 3 AnalogAi, 4 AnalogAo.
inline constexpr int kChannelLists = 5;

struct ChannelList {
    int count = 0;
    std::array<std::array<int, 4>, kControlStations> entries{}; // global channel numbers
};

class DataStore {
public:
    DataStore();

    // Station numbers 1-32.
    int getStoredValue(int station, int reg, std::uint16_t& value) const;
    int setStoredValue(int station, int reg, std::uint16_t value);
    // The edit path: online, a holding register goes to the module first and is stored only
    // when that succeeded; offline it is stored at once. Below 40000: text 115 and -1.
    int setValue(int station, int reg, std::uint16_t value);
    int storeEdited(int station, int reg, std::uint16_t value);

    // Station indices 0-31.
    void markEdited(int stationIndex, int reg);
    void clearEdited(int stationIndex, int reg);
    int isEdited(int stationIndex, int reg) const;
    void clearEditedFlags();
    void setCommError(int stationIndex, int firstRegister, int count);
    void clearCommError(int stationIndex, int firstRegister, int count);
    int commError(int stationIndex, int reg) const;
    void clearCommErrors();
    int modelClass(int stationIndex) const;

    void selectPresentStations();
    void rebuildChannelLists();

    // A station whose values are not all its module's: an upload or a re-read did not read
    // every register, or the parameter file said so or did not cover its record. A download
    // leaves such a station out, so that no value that was never read is written.
    bool incomplete(int stationIndex) const;
    void setIncomplete(int stationIndex, bool on);
    // The present stations that are incomplete.
    std::vector<int> incompleteStations() const;

    const ChannelList& channelList(int list) const { return m_channelLists[list]; }
    int channelTotal() const { return m_channelTotal; }

    StationRecord& record(int stationIndex) { return m_records[stationIndex]; }
    const StationRecord& record(int stationIndex) const { return m_records[stationIndex]; }
    StationRecord* records() { return m_records.get(); }
    const StationRecord* records() const { return m_records.get(); }

    std::array<std::int32_t, kStations> stationPresent{};
    std::array<std::int32_t, kStations> stationSelected{};

    // Where setValue sends values when online.
    void attach(ModbusMaster* master, Reporter* reporter)
    {
        m_master = master;
        m_reporter = reporter;
    }

private:
    std::unique_ptr<StationRecord[]> m_records;
    std::unique_ptr<std::uint8_t[]> m_commError; // [32][10000]
    std::array<ChannelList, kChannelLists> m_channelLists{};
    std::array<bool, kStations> m_incomplete{};
    int m_channelTotal = 0;
    ModbusMaster* m_master = nullptr;
    Reporter* m_reporter = nullptr;
};

} // namespace vok
