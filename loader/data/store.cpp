#include "store.h"

#include "modbus.h"
#include "reporter.h"

#include <algorithm>
#include <cstring>

namespace vok {

namespace {

bool validStation(int station)
{
    return station >= 1 && station <= kStations;
}

bool validIndex(int stationIndex)
{
    return stationIndex >= 0 && stationIndex < kStations;
}

// Register numbers are 16-bit unsigned values.
int asRegister(int reg)
{
    return static_cast<std::uint16_t>(reg);
}

bool isStored(int reg)
{
    return reg >= kFirstStoredRegister && reg <= kLastStoredRegister;
}

bool isHolding(int reg)
{
    return reg >= kFirstHolding && reg <= kLastStoredRegister;
}

} // namespace

int modelClassOfLetter(std::uint16_t letter)
{
    switch (letter) {
    case 'A': return kClassA;
    case 'B': return kClassB;
    case 'E': return kClassE;
    case 'V': return kClassV;
    case 'N': return kClassN;
    case 'T': return kClassT;
    case 'C': return kClassC;
    default: return kClassNone;
    }
}

DataStore::DataStore()
    : m_records(new StationRecord[kStations]()), m_commError(new std::uint8_t[kStations * kHoldingRegisters]())
{
}

int DataStore::getStoredValue(int station, int reg, std::uint16_t& value) const
{
    reg = asRegister(reg);
    value = 0;
    if (!validStation(station) || !isStored(reg))
        return 0;
    value = m_records[station - 1].values[reg - kFirstStoredRegister];
    return isHolding(reg) ? m_commError[(station - 1) * kHoldingRegisters + (reg - kFirstHolding)] : 0;
}

int DataStore::setStoredValue(int station, int reg, std::uint16_t value)
{
    reg = asRegister(reg);
    if (validStation(station) && isStored(reg))
        m_records[station - 1].values[reg - kFirstStoredRegister] = value;
    return 0;
}

int DataStore::setValue(int station, int reg, std::uint16_t value)
{
    reg = asRegister(reg);
    if (reg < kFirstHolding) {
        if (m_reporter)
            m_reporter->message(115);
        return -1;
    }
    if (m_master && m_master->link().settings().online) {
        Link::Use use(m_master->link(), LineUser::OnlineEdit);
        int rc = m_master->writeRegisters(m_master->link().linkHandle(), station, 2, &value, reg);
        if (rc == kCommOk)
            setStoredValue(station, reg, value);
        return rc;
    }
    setStoredValue(station, reg, value);
    return 0;
}

int DataStore::storeEdited(int station, int reg, std::uint16_t value)
{
    std::uint16_t old = 0;
    int error = getStoredValue(station, reg, old);
    if (old != value && validStation(station)) {
        setStoredValue(station, reg, value);
        markEdited(station - 1, reg);
    }
    return error;
}

void DataStore::markEdited(int stationIndex, int reg)
{
    reg = asRegister(reg);
    if (validIndex(stationIndex) && isHolding(reg))
        m_records[stationIndex].edited[reg - kFirstHolding] = 1;
}

void DataStore::clearEdited(int stationIndex, int reg)
{
    reg = asRegister(reg);
    if (validIndex(stationIndex) && isHolding(reg))
        m_records[stationIndex].edited[reg - kFirstHolding] = 0;
}

int DataStore::isEdited(int stationIndex, int reg) const
{
    reg = asRegister(reg);
    if (!validIndex(stationIndex) || !isHolding(reg))
        return 0;
    return m_records[stationIndex].edited[reg - kFirstHolding];
}

void DataStore::clearEditedFlags()
{
    for (int i = 0; i < kStations; ++i)
        std::memset(m_records[i].edited, 0, sizeof m_records[i].edited);
}

namespace {

// The part of [first, first + count) that lies in the holding registers, as offsets.
std::pair<int, int> holdingSpan(int firstRegister, int count)
{
    int begin = std::max(firstRegister, kFirstHolding);
    int end = std::min(firstRegister + std::max(count, 0), kLastStoredRegister + 1);
    if (end <= begin)
        return {0, 0};
    return {begin - kFirstHolding, end - begin};
}

} // namespace

void DataStore::setCommError(int stationIndex, int firstRegister, int count)
{
    if (!validIndex(stationIndex))
        return;
    auto [offset, n] = holdingSpan(firstRegister, count);
    std::memset(&m_commError[stationIndex * kHoldingRegisters + offset], 1, static_cast<std::size_t>(n));
}

void DataStore::clearCommError(int stationIndex, int firstRegister, int count)
{
    if (!validIndex(stationIndex))
        return;
    auto [offset, n] = holdingSpan(firstRegister, count);
    std::memset(&m_commError[stationIndex * kHoldingRegisters + offset], 0, static_cast<std::size_t>(n));
}

int DataStore::commError(int stationIndex, int reg) const
{
    reg = asRegister(reg);
    if (!validIndex(stationIndex) || !isHolding(reg))
        return 0;
    return m_commError[stationIndex * kHoldingRegisters + (reg - kFirstHolding)];
}

void DataStore::clearCommErrors()
{
    std::memset(m_commError.get(), 0, kStations * kHoldingRegisters);
}

int DataStore::modelClass(int stationIndex) const
{
    if (!validIndex(stationIndex))
        return kClassNone;
    // The model letter is the byte at offset 6 of the record: the low byte of word 3.
    return modelClassOfLetter(m_records[stationIndex].identification[3] & 0xFF);
}

void DataStore::selectPresentStations()
{
    stationSelected = stationPresent;
}

void DataStore::rebuildChannelLists()
{
    m_channelLists = {};
    auto add = [this](int list, int stationIndex) {
        ChannelList& l = m_channelLists[list];
        if (l.count >= kControlStations)
            return;
        for (int c = 0; c < 4; ++c)
            l.entries[l.count][c] = 4 * stationIndex + c;
        ++l.count;
    };
    for (int i = 0; i < kStations; ++i) {
        if (!stationPresent[i])
            continue;
        const int cls = modelClass(i);
        if (i < kControlStations) {
            if (cls == kClassA || cls == kClassB)
                add(0, i);
            else if (cls == kClassV)
                add(2, i);
            else if (cls == kClassN)
                add(3, i);
            else if (cls == kClassT)
                add(4, i);
        } else if (cls != kClassNone) {
            add(1, i);
        }
    }
    m_channelTotal = 4 * (m_channelLists[0].count + m_channelLists[2].count + m_channelLists[3].count
                          + m_channelLists[4].count);
}

} // namespace vok

namespace vok {

bool DataStore::incomplete(int stationIndex) const
{
    return validIndex(stationIndex) && m_incomplete[static_cast<std::size_t>(stationIndex)];
}

void DataStore::setIncomplete(int stationIndex, bool on)
{
    if (validIndex(stationIndex))
        m_incomplete[static_cast<std::size_t>(stationIndex)] = on;
}

std::vector<int> DataStore::incompleteStations() const
{
    std::vector<int> out;
    for (int i = 0; i < kStations; ++i) {
        if (stationPresent[static_cast<std::size_t>(i)] && m_incomplete[static_cast<std::size_t>(i)])
            out.push_back(i);
    }
    return out;
}

} // namespace vok
