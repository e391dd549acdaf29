#include "transfer.h"

#include "modbus.h"
#include "reporter.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace vok {

namespace {

void waitMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

std::string Transfers::stationSuffix(int station, bool wireNumber) const
{
    const int shown = wireNumber ? m_ctx.master.wireAddress(station) : station;
    return "(ST=" + std::to_string(shown) + ")";
}

std::uint32_t Transfers::progressTotal(int selected) const
{
    const std::uint32_t b = static_cast<std::uint32_t>(selected) * static_cast<std::uint32_t>(m_ctx.nodeSlotsInUse);
    return m_ctx.tables.family() == 0 ? b + b / 2 : 2 * b;
}

int Transfers::readIdentification(int station, std::uint16_t (&words)[13])
{
    waitMs(10);
    const int reg = m_ctx.tables.specials().reg(SpecialRole::Identification, 0);
    int rc = m_ctx.master.readRegisters(m_ctx.master.link().linkHandle(), station, 26, words, reg);
    if (rc != kCommOk)
        std::memset(words, 0, sizeof words);
    return rc;
}

int Transfers::transferStation(Direction direction, int stationIndex, bool holding, bool reread)
{
    const int station = stationIndex + 1;
    const bool control = station <= kControlStations;
    const bool download = direction == Direction::Write;
    ModbusMaster& master = m_ctx.master;
    DataStore& store = m_ctx.store;
    master.setCurrentStation(station);

    // Registers a download leaves alone: those of an exclusion entry whose condition is 47 or more.
    std::vector<int> excluded;
    if (download && control) {
        for (const ExclusionEntry& e : m_ctx.tables.exclusions()) {
            if (e.condition == 0)
                continue;
            std::uint16_t v = 0;
            store.getStoredValue(station, e.condition, v);
            // The condition is an unsigned register value.
            if (v >= 47) {
                excluded.push_back(e.first);
                excluded.push_back(e.second);
            }
        }
    }
    auto isExcluded = [&](int reg) { return std::find(excluded.begin(), excluded.end(), reg) != excluded.end(); };

    const int kind = control ? 0 : 1;
    const auto& map = holding ? m_ctx.tables.maps().holdingKind[kind] : m_ctx.tables.maps().inputMap[kind];
    const int base = holding ? kFirstHolding : kFirstStoredRegister;
    if (!reread)
        store.setCommError(stationIndex, base, kHoldingRegisters);

    waitMs(10);
    int result = -1;
    for (int offset = 0; offset < kHoldingRegisters && !m_ctx.stopRequested;) {
        if (!map[offset]) {
            ++offset;
            continue;
        }
        int count = 0;
        while (offset + count < kHoldingRegisters && map[offset + count] && count < kMaxPieceRegisters) {
            if (download && control && isExcluded(base + offset + count))
                break;
            ++count;
        }
        if (count == 0) {
            // An excluded register: not written, and not a failure.
            store.clearCommError(stationIndex, base + offset, 1);
            ++offset;
            continue;
        }
        const int first = base + offset;
        std::uint16_t* values = &store.record(stationIndex).values[first - kFirstStoredRegister];
        if (download) {
            waitMs(50);
            result = master.writeRegisters(master.link().linkHandle(), station, 2 * count, values, first);
        } else {
            result = master.readRegisters(master.link().linkHandle(), station, 2 * count, values, first);
        }
        if (result == kCommOk)
            store.clearCommError(stationIndex, first, count);
        else
            store.setCommError(stationIndex, first, count);
        m_ctx.reporter.progressAdvance(count);
        offset += count;
    }
    master.setCurrentStation(0);
    return result;
}

void Transfers::writePreDownload()
{
    ModbusMaster& master = m_ctx.master;
    const auto& list = m_ctx.tables.preDownload();
    for (int i = 0; i < kControlStations; ++i) {
        if (!m_ctx.store.stationSelected[i])
            continue;
        const int station = i + 1;
        for (int k = 0; k < kPreDownloadRegisters; ++k) {
            const int reg = list[k];
            if (reg != 0) {
                std::uint16_t v = 0;
                m_ctx.store.getStoredValue(station, reg, v);
                if (master.writeRegisters(master.link().linkHandle(), station, 2, &v, reg) == kCommOk)
                    m_ctx.store.clearCommError(i, reg, 1);
                else
                    m_ctx.store.setCommError(i, reg, 1);
            }
            if (k % 4 == 3)
                m_ctx.reporter.progressAdvance(20);
        }
    }
}

int Transfers::identifySelected(bool check, int result,
                                const std::function<bool(int, const std::uint16_t (&)[13])>& accept)
{
    DataStore& store = m_ctx.store;
    for (int i = 0; i < kStations; ++i) {
        if (!store.stationSelected[i])
            continue;
        // The read before an upload goes straight into the record: a failed read leaves the
        // zeros there, as the module's code is then unknown.
        std::uint16_t local[13];
        std::uint16_t(&words)[13] = check ? local : store.record(i).identification;
        result = readIdentification(i + 1, words);
        // A station whose code cannot be read or is not accepted leaves the selection.
        if (result != kCommOk) {
            m_ctx.reporter.message(114, stationSuffix(i + 1, check));
            store.stationSelected[i] = 0;
        } else if (!accept(i, words)) {
            store.stationSelected[i] = 0;
        }
        if (check)
            m_ctx.reporter.progressAdvance(20);
    }
    return result;
}

int Transfers::runTransferSequence(TransferType type)
{
    DataStore& store = m_ctx.store;
    Reporter& reporter = m_ctx.reporter;
    int selected = 0;
    for (int i = 0; i < kStations; ++i)
        selected += store.stationSelected[i] ? 1 : 0;
    if (type == TransferType::OnlineStart)
        waitMs(300);
    reporter.progressStart(progressTotal(selected));
    if (type == TransferType::Upload)
        reporter.offerSave();

    int result = selected ? kCommOk : -1;
    const bool family0 = m_ctx.tables.family() == 0;
    const auto selectedAtStart = store.stationSelected;
    if (type != TransferType::OnlineStart) {
        // The module on the line must be the one configured for the station.
        result = identifySelected(true, result, [&](int i, const std::uint16_t (&words)[13]) {
            if (std::memcmp(words, store.record(i).identification, sizeof words) == 0)
                return true;
            reporter.message(111, stationSuffix(i + 1, true));
            return false;
        });
    }
    if (type != TransferType::Download) {
        result = identifySelected(false, result, [](int, const std::uint16_t (&)[13]) { return true; });
    }
    store.clearCommErrors();
    // A station left out for its identification was not transferred: its values are not the
    // module's, so they show as failed rather than as good.
    for (int i = 0; i < kStations; ++i) {
        if (selectedAtStart[i] && !store.stationSelected[i])
            store.setCommError(i, kFirstHolding, kHoldingRegisters);
    }
    if (type == TransferType::Download) {
        if (family0)
            writePreDownload();
    } else {
        store.rebuildChannelLists();
    }
    const Direction direction = type == TransferType::Download ? Direction::Write : Direction::Read;
    for (int i = 0; i < kStations; ++i) {
        if (!store.stationSelected[i])
            continue;
        waitMs(10);
        transferStation(direction, i, true);
        waitMs(10);
        if (type != TransferType::Download)
            transferStation(Direction::Read, i, false);
    }
    if (type != TransferType::Download)
        store.clearEditedFlags();
    reporter.progressEnd();
    reporter.statusText(120);
    return result;
}

int Transfers::scanStations()
{
    ModbusMaster& master = m_ctx.master;
    DataStore& store = m_ctx.store;
    const SpecialRegisters& sp = m_ctx.tables.specials();
    const int r = sp.reg(SpecialRole::ConnectionCheck, 0);
    const int p = sp.reg(SpecialRole::Presence, 0);
    const int x = sp.reg(SpecialRole::Extra, 0);
    auto port = [&] { return master.link().linkHandle(); };

    std::uint16_t original = 0;
    int rc = master.readRegisters(port(), kCouplingUnit, 2, &original, r);
    if (rc != kCommOk)
        return rc;
    const bool changed = original != kConnectionCheckValue;
    if (changed) {
        const std::uint16_t magic = kConnectionCheckValue;
        rc = master.writeRegisters(port(), kCouplingUnit, 2, &magic, r);
        if (rc != kCommOk)
            return rc;
    }
    std::uint16_t bits[2] = {};
    std::uint16_t extra = 0;
    rc = master.readRegisters(port(), kCouplingUnit, 4, bits, p);
    if (rc == kCommOk)
        rc = master.readRegisters(port(), kCouplingUnit, 2, &extra, x);
    if (changed)
        master.writeRegisters(port(), kCouplingUnit, 2, &original, r);
    if (rc != kCommOk)
        return rc;

    const auto before = store.stationPresent;
    for (int n = 1; n <= kStations; ++n) {
        const bool bit = (bits[(n - 1) / 16] >> ((n - 1) % 16)) & 1;
        store.stationPresent[n - 1] = bit && before[n - 1] ? 1 : 0;
    }
    if (extra >= 1 && extra <= kStations && before[extra - 1])
        store.stationPresent[extra - 1] = 1;
    store.selectPresentStations();
    return kCommOk;
}

} // namespace vok
