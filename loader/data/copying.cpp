#include "copying.h"

#include "store.h"

namespace vok {

namespace {

char letterOf(const DataStore& store, int stationIndex)
{
    const std::uint16_t w = store.record(stationIndex).identification[3];
    return static_cast<char>(w & 0xFF);
}

bool isAB(char c)
{
    return c == 'A' || c == 'B';
}

// One register from station `fromIndex` onto `toIndex`: the value and whether it was read.
bool copyRegister(DataStore& store, int fromIndex, int toIndex, int fromReg, int toReg)
{
    std::uint16_t value = 0, old = 0;
    store.getStoredValue(fromIndex + 1, fromReg, value);
    store.getStoredValue(toIndex + 1, toReg, old);
    const bool failed = store.commError(fromIndex, fromReg) != 0;
    const bool wasFailed = store.commError(toIndex, toReg) != 0;
    store.setStoredValue(toIndex + 1, toReg, value);
    if (failed) {
        // A value never read is not the user's: it must not be downloaded as if it were.
        store.setCommError(toIndex, toReg, 1);
        store.clearEdited(toIndex, toReg);
        return false;
    }
    store.clearCommError(toIndex, toReg, 1);
    if (value != old || wasFailed) {
        store.markEdited(toIndex, toReg);
        return true;
    }
    return false;
}

bool defined(const DataStore& store, int station)
{
    return station >= 1 && station <= kStations && store.stationPresent[static_cast<std::size_t>(station - 1)];
}

} // namespace

bool modelsFit(char from, char first, char last)
{
    if (isAB(from))
        return isAB(first) && isAB(last);
    if (from == 'V' || from == 'N' || from == 'T')
        return first == from && last == from;
    return true;
}

CopyCount copyChannel(DataStore& store, int station, int from, int first, int last)
{
    CopyCount out;
    if (!defined(store, station) || from < 1 || from > 4 || first < 1 || last > 4) {
        out.result = CopyResult::NoStation;
        return out;
    }
    if (first > last) {
        out.result = CopyResult::Reversed;
        return out;
    }
    const int s = station - 1;
    for (int c = first; c <= last; ++c) {
        if (c == from)
            continue;
        for (int i = 0; i < 1000; ++i)
            out.changed += copyRegister(store, s, s, 40000 + 1000 * from + i, 40000 + 1000 * c + i);
    }
    return out;
}

CopyCount copyStation(DataStore& store, int from, int first, int last, bool checkModels)
{
    CopyCount out;
    if (!defined(store, from) || !defined(store, first) || !defined(store, last)) {
        out.result = CopyResult::NoStation;
        return out;
    }
    if (checkModels && !modelsFit(letterOf(store, from - 1), letterOf(store, first - 1), letterOf(store, last - 1))) {
        out.result = CopyResult::Incompatible;
        return out;
    }
    if (first > last) {
        out.result = CopyResult::Reversed;
        return out;
    }
    for (int t = first; t <= last; ++t) {
        if (t == from || !defined(store, t))
            continue;
        for (int reg = kFirstHolding; reg < kFirstHolding + kHoldingRegisters; ++reg)
            out.changed += copyRegister(store, from - 1, t - 1, reg, reg);
        // A target takes the source's whole state: incomplete when the source is.
        store.setIncomplete(t - 1, store.incomplete(from - 1));
    }
    return out;
}

} // namespace vok
