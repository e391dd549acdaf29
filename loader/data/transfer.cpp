#include "transfer.h"

#include "dependent.h"
#include "fileutil.h"
#include "journal.h"
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

bool Transfers::portLost() const
{
    const PortHandle port = m_ctx.master.link().linkHandle();
    return port && port->lost();
}

bool Transfers::anyMappedFailed(int stationIndex) const
{
    const auto& map = m_ctx.tables.maps().holdingKind[stationIndex < kControlStations ? 0 : 1];
    for (int i = 0; i < kHoldingRegisters; ++i) {
        if (map[static_cast<std::size_t>(i)] && m_ctx.store.commError(stationIndex, kFirstHolding + i))
            return true;
    }
    return false;
}

int Transfers::unwritten(int stationIndex, const std::vector<std::uint8_t>* only) const
{
    const auto& map = m_ctx.tables.maps().holdingKind[stationIndex < kControlStations ? 0 : 1];
    const auto& written = m_writtenMask[static_cast<std::size_t>(stationIndex)];
    const auto& excluded = m_excludedMask[static_cast<std::size_t>(stationIndex)];
    int n = 0;
    for (int i = 0; i < kHoldingRegisters; ++i) {
        const auto k = static_cast<std::size_t>(i);
        if ((k < written.size() && written[k]) || (k < excluded.size() && excluded[k]))
            continue;
        // An excluded register is not written by rule and is no failure.
        if (only ? (*only)[k] != 0 : map[k] && m_ctx.store.commError(stationIndex, kFirstHolding + i))
            ++n;
    }
    return n;
}

namespace {

// Results that mean nobody answered at all (as opposed to a wrong or refused answer).
bool unanswered(int rc)
{
    return rc == kCommNoAnswer || rc == kCommNoZAnswer || rc == kCommNoPort || rc == kCommShortWrite
        || rc == kCommOpenFailed;
}

} // namespace

int Transfers::transferStation(Direction direction, int stationIndex, bool holding, bool reread,
                               const std::vector<std::uint8_t>* only)
{
    const int station = stationIndex + 1;
    const bool control = station <= kControlStations;
    const bool download = direction == Direction::Write;
    ModbusMaster& master = m_ctx.master;
    DataStore& store = m_ctx.store;
    master.setCurrentStation(station);
    m_lastStationSilent = false;

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
    const auto& mapped = holding ? m_ctx.tables.maps().holdingKind[kind] : m_ctx.tables.maps().inputMap[kind];
    auto inMap = [&](int i) { return mapped[static_cast<std::size_t>(i)] && (!only || (*only)[static_cast<std::size_t>(i)]); };
    const int base = holding ? kFirstHolding : kFirstStoredRegister;
    if (!reread && !only)
        store.setCommError(stationIndex, base, kHoldingRegisters);
    auto& writtenMask = m_writtenMask[static_cast<std::size_t>(stationIndex)];
    if (download) {
        writtenMask.resize(kHoldingRegisters, 0);
        m_excludedMask[static_cast<std::size_t>(stationIndex)].assign(kHoldingRegisters, 0);
    }

    waitMs(10);
    int result = -1;
    int silentBlocks = 0;
    int offset = 0;
    while (offset < kHoldingRegisters && !m_ctx.stopRequested && !m_ctx.lineDead) {
        if (!inMap(offset)) {
            ++offset;
            continue;
        }
        int count = 0;
        while (offset + count < kHoldingRegisters && inMap(offset + count) && count < kMaxPieceRegisters) {
            if (download && control && isExcluded(base + offset + count))
                break;
            ++count;
        }
        if (count == 0) {
            // An excluded register: not written, and not a failure.
            store.clearCommError(stationIndex, base + offset, 1);
            m_excludedMask[static_cast<std::size_t>(stationIndex)][static_cast<std::size_t>(offset)] = 1;
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
        // A changes download that could not write a typed value leaves it as typed (still
        // red, counted as not written): marking it failed would keep the next one from
        // writing it.
        if (result == kCommOk)
            store.clearCommError(stationIndex, first, count);
        else if (!(download && only))
            store.setCommError(stationIndex, first, count);
        if (download && result == kCommOk) {
            std::fill_n(writtenMask.begin() + offset, count, 1);
            m_ctx.written += count;
        }
        m_ctx.reporter.progressAdvance(count);
        offset += count;
        if (portLost()) {
            // The other end hung up: nothing further can get through.
            m_ctx.lineDead = true;
        } else if (unanswered(result) && ++silentBlocks >= kSilentBlocks) {
            // A station that answers nothing is left, rather than waiting out every block.
            m_lastStationSilent = true;
            break;
        } else if (!unanswered(result)) {
            silentBlocks = 0;
        }
    }
    // What was not reached is not the module's. A re-read keeps the values it did not get
    // to: they are as good as before it started.
    for (int i = offset; i < kHoldingRegisters && !(download && only) && !reread; ++i) {
        if (!only || (*only)[static_cast<std::size_t>(i)])
            store.setCommError(stationIndex, base + i, 1);
    }
    master.setCurrentStation(0);
    return result;
}

void Transfers::writePreDownload(const std::array<std::vector<std::uint8_t>, kStations>* only)
{
    ModbusMaster& master = m_ctx.master;
    const auto& list = m_ctx.tables.preDownload();
    for (int i = 0; i < kControlStations; ++i) {
        if (!m_ctx.store.stationSelected[i])
            continue;
        const int station = i + 1;
        auto& writtenMask = m_writtenMask[static_cast<std::size_t>(i)];
        writtenMask.resize(kHoldingRegisters, 0);
        for (int k = 0; k < kPreDownloadRegisters && !m_ctx.stopRequested && !m_ctx.lineDead; ++k) {
            const int reg = list[k];
            if (reg >= kFirstHolding && reg <= kLastStoredRegister
                && (!only || (*only)[static_cast<std::size_t>(i)][static_cast<std::size_t>(reg - kFirstHolding)])) {
                std::uint16_t v = 0;
                m_ctx.store.getStoredValue(station, reg, v);
                if (master.writeRegisters(master.link().linkHandle(), station, 2, &v, reg) == kCommOk) {
                    m_ctx.store.clearCommError(i, reg, 1);
                    writtenMask[static_cast<std::size_t>(reg - kFirstHolding)] = 1;
                    ++m_ctx.written;
                } else {
                    if (!only)
                        m_ctx.store.setCommError(i, reg, 1);
                    if (portLost())
                        m_ctx.lineDead = true;
                }
            }
            if (k % 4 == 3)
                m_ctx.reporter.progressAdvance(20);
        }
    }
}

bool Transfers::readMarked(int stationIndex, const std::vector<std::uint8_t>& which, std::vector<std::uint16_t>& out,
                           std::vector<std::uint8_t>& readOk)
{
    const int station = stationIndex + 1;
    const auto& mapped = m_ctx.tables.maps().holdingKind[stationIndex < kControlStations ? 0 : 1];
    out.assign(kHoldingRegisters, 0);
    readOk.assign(kHoldingRegisters, 0);
    m_ctx.master.setCurrentStation(station);
    int silentBlocks = 0;
    for (int offset = 0; offset < kHoldingRegisters && !m_ctx.stopRequested && !m_ctx.lineDead;) {
        if (!which[static_cast<std::size_t>(offset)] || !mapped[static_cast<std::size_t>(offset)]) {
            ++offset;
            continue;
        }
        int count = 0;
        while (offset + count < kHoldingRegisters && which[static_cast<std::size_t>(offset + count)]
               && mapped[static_cast<std::size_t>(offset + count)] && count < kMaxPieceRegisters)
            ++count;
        const int rc = m_ctx.master.readRegisters(m_ctx.master.link().linkHandle(), station, 2 * count, &out[static_cast<std::size_t>(offset)],
                                                  kFirstHolding + offset);
        if (rc == kCommOk)
            std::fill_n(readOk.begin() + offset, count, 1);
        m_ctx.reporter.progressAdvance(count);
        offset += count;
        if (portLost())
            m_ctx.lineDead = true;
        else if (unanswered(rc) && ++silentBlocks >= kSilentBlocks)
            break;
        else if (!unanswered(rc))
            silentBlocks = 0;
    }
    m_ctx.master.setCurrentStation(0);
    return !m_ctx.stopRequested && !m_ctx.lineDead;
}

void Transfers::verifyStation(int stationIndex, bool changesOnly)
{
    DataStore& store = m_ctx.store;
    const SpecialRegisters& sp = m_ctx.tables.specials();
    const auto& channelOf = m_ctx.tables.maps().holdingChannel[stationIndex < kControlStations ? 0 : 1];
    const std::vector<std::uint8_t>& written = m_writtenMask[static_cast<std::size_t>(stationIndex)];
    if (written.empty())
        return;
    // A written defining register makes the module recalculate its channel: read it whole.
    std::vector<std::uint8_t> which = written;
    for (int c = 0; c < 4 && stationIndex < kControlStations; ++c) {
        bool defining = false;
        for (int i = 0; i < kHoldingRegisters && !defining; ++i)
            defining = written[static_cast<std::size_t>(i)] && dependencyKind(sp, c, kFirstHolding + i) != DependencyKind::None;
        if (!defining)
            continue;
        for (int i = 0; i < kHoldingRegisters; ++i) {
            if (channelOf[static_cast<std::size_t>(i)] == c + 1 || (i >= 1000 * (c + 1) && i < 1000 * (c + 2)))
                which[static_cast<std::size_t>(i)] = 1;
        }
    }
    std::vector<std::uint16_t> module;
    std::vector<std::uint8_t> readOk;
    readMarked(stationIndex, which, module, readOk);
    const auto& mapped = m_ctx.tables.maps().holdingKind[stationIndex < kControlStations ? 0 : 1];
    for (int i = 0; i < kHoldingRegisters; ++i) {
        if (!which[static_cast<std::size_t>(i)] || !mapped[static_cast<std::size_t>(i)])
            continue;
        const int reg = kFirstHolding + i;
        std::uint16_t pc = 0;
        store.getStoredValue(stationIndex + 1, reg, pc);
        // Not read back, or read back different: not confirmed. A full download shows it as
        // not transferred; a changes download keeps the typed value red for the next one.
        if (!readOk[static_cast<std::size_t>(i)]) {
            if (!changesOnly)
                store.setCommError(stationIndex, reg, 1);
            if (written[static_cast<std::size_t>(i)])
                ++m_ctx.notConfirmed;
            continue;
        }
        if (module[static_cast<std::size_t>(i)] != pc) {
            m_ctx.differences.push_back({stationIndex + 1, reg, pc, module[static_cast<std::size_t>(i)]});
            if (!changesOnly)
                store.setCommError(stationIndex, reg, 1);
            continue;
        }
        ++m_ctx.confirmed;
        if (changesOnly && written[static_cast<std::size_t>(i)])
            store.clearEdited(stationIndex, reg);
    }
}

void Transfers::compareStation(int stationIndex)
{
    std::vector<std::uint8_t> all(kHoldingRegisters, 1);
    std::vector<std::uint16_t> module;
    std::vector<std::uint8_t> readOk;
    readMarked(stationIndex, all, module, readOk);
    const auto& mapped = m_ctx.tables.maps().holdingKind[stationIndex < kControlStations ? 0 : 1];
    for (int i = 0; i < kHoldingRegisters; ++i) {
        if (!mapped[static_cast<std::size_t>(i)] || !readOk[static_cast<std::size_t>(i)])
            continue;
        std::uint16_t pc = 0;
        m_ctx.store.getStoredValue(stationIndex + 1, kFirstHolding + i, pc);
        if (pc != module[static_cast<std::size_t>(i)])
            m_ctx.differences.push_back({stationIndex + 1, kFirstHolding + i, pc, module[static_cast<std::size_t>(i)]});
        else
            ++m_ctx.confirmed;
    }
}

void Transfers::appendDownloadRecord(TransferType type, const std::vector<int>& stations)
{
    const PortHandle port = m_ctx.master.link().linkHandle();
    DownloadRecord r;
    r.kind = type == TransferType::DownloadChanges ? "changes" : "full";
    r.port = port ? port->device() : std::string();
    r.stations = stations;
    r.file = m_ctx.sourceFile;
    r.written = m_ctx.written;
    // written / confirmed / not confirmed / differences, in one field of the record.
    r.verify = !m_ctx.verified && !m_ctx.verifyAfterDownload ? "not verified"
        : "confirmed " + std::to_string(m_ctx.confirmed) + "; not confirmed " + std::to_string(m_ctx.notConfirmed)
            + "; differences " + std::to_string(m_ctx.differences.size());
    if (m_ctx.notWritten)
        r.verify += "; not written " + std::to_string(m_ctx.notWritten);
    if (m_ctx.lineDead || m_ctx.stopRequested)
        r.verify += m_ctx.lineDead ? "; line dead" : "; stopped";
    std::string error;
    if (!appendDownloadRecordLine(m_ctx.master.link().settings().workingDir, r, &error))
        m_ctx.reporter.notice("The download could not be recorded in the download log: " + error + ".");
}

int Transfers::identifySelected(bool check, int result,
                                const std::function<bool(int, const std::uint16_t (&)[13])>& accept)
{
    DataStore& store = m_ctx.store;
    // A station that does not answer is said only once the next one has answered: two in a
    // row mean the line is dead, which one message says for all of them.
    int pendingSilent = -1;
    auto sayPending = [&] {
        if (pendingSilent >= 0)
            m_ctx.reporter.message(114, stationSuffix(pendingSilent + 1, check));
        pendingSilent = -1;
    };
    for (int i = 0; i < kStations; ++i) {
        if (!store.stationSelected[i])
            continue;
        if (m_ctx.lineDead || m_ctx.stopRequested) {
            // The line is dead or the user stopped: the stations not asked yet are left out
            // without a word each.
            store.stationSelected[i] = 0;
            continue;
        }
        // The read before an upload goes straight into the record: a failed read leaves the
        // zeros there, as the module's code is then unknown.
        std::uint16_t local[13];
        std::uint16_t(&words)[13] = check ? local : store.record(i).identification;
        result = readIdentification(i + 1, words);
        if (result != kCommOk && portLost()) {
            m_ctx.lineDead = true;
            store.stationSelected[i] = 0;
            continue;
        }
        if (result != kCommOk && unanswered(result)) {
            store.stationSelected[i] = 0;
            if (pendingSilent >= 0) {
                m_ctx.lineDead = true;
                m_ctx.master.link().noteLost("two stations in a row answer nothing");
                pendingSilent = -1;
            } else {
                pendingSilent = i;
            }
        } else {
            sayPending();
            // A station whose code cannot be read or is not accepted leaves the selection.
            if (result != kCommOk) {
                m_ctx.reporter.message(114, stationSuffix(i + 1, check));
                store.stationSelected[i] = 0;
            } else if (!accept(i, words)) {
                store.stationSelected[i] = 0;
            }
        }
        if (check)
            m_ctx.reporter.progressAdvance(20);
    }
    if (!m_ctx.lineDead)
        sayPending();
    return result;
}

std::string Transfers::tableProblem(TransferType type)
{
    DefinitionTables& tables = m_ctx.tables;
    const SpecialRegisters& sp = tables.specials();
    const bool family0 = tables.family() == 0;
    const char* addList = tables.addListName(family0 ? ListType::Function : tables.family() == 1 ? ListType::Com : ListType::ProfCom);
    if (!sp.row(SpecialRole::Identification).found)
        return joinPath(tables.folder(), addList) + " has no row of the module code registers";
    bool control = false, event = false;
    for (int i = 0; i < kStations; ++i) {
        if (m_ctx.store.stationSelected[static_cast<std::size_t>(i)])
            (i < kControlStations ? control : event) = true;
    }
    for (int kind : {0, 1}) {
        if (!(kind == 0 ? control : event))
            continue;
        if (std::string problem = tables.mapProblem(kind); !problem.empty())
            return problem;
    }
    if (type == TransferType::Download || type == TransferType::DownloadChanges) {
        // Without these a download would write what must not be written, or in the wrong order.
        std::vector<const char*> needed{"DownloadExclusion.csv"};
        if (family0)
            needed.push_back("PreDownload.csv");
        for (const char* f : needed) {
            if (!readWholeFile(joinPath(tables.folder(), f)))
                return joinPath(tables.folder(), f) + " is missing or cannot be read";
        }
    }
    return {};
}

namespace {

std::string stationNumbers(const std::vector<int>& indices)
{
    std::string out;
    for (int i : indices)
        out += (out.empty() ? "" : ", ") + std::to_string(i + 1);
    return out;
}

} // namespace

int Transfers::runTransferSequence(TransferType type)
{
    DataStore& store = m_ctx.store;
    Reporter& reporter = m_ctx.reporter;
    m_ctx.lineDead = false;
    m_ctx.written = m_ctx.confirmed = m_ctx.notWritten = m_ctx.notConfirmed = 0;
    m_ctx.verified = false;
    m_ctx.differences.clear();
    m_ctx.notWrittenStations.clear();
    for (auto& mask : m_writtenMask)
        mask.clear();
    for (auto& mask : m_excludedMask)
        mask.clear();
    const bool changes = type == TransferType::DownloadChanges;
    const bool download = type == TransferType::Download || changes;
    const bool compare = type == TransferType::Compare;
    // The identification is checked before writing or comparing, and read before reading.
    const bool check = type != TransferType::OnlineStart;
    const bool reads = type == TransferType::Upload || type == TransferType::OnlineStart;

    // Nothing starts on a language folder that would make the transfer silently incomplete.
    if (std::string problem = tableProblem(type); !problem.empty()) {
        reporter.notice("The transfer was not started: " + problem + ".");
        return -1;
    }
    // The changes of each station: its edited registers. A station without any is not asked.
    // Values that were never read from a module are never written to it: a register whose
    // last transfer failed, and every station marked incomplete, are left out of any download.
    std::array<std::vector<std::uint8_t>, kStations> edits;
    std::vector<int> leftOut;
    std::string neverRead;
    for (int i = 0; i < kStations && download; ++i) {
        if (!store.stationSelected[i])
            continue;
        if (changes) {
            auto& e = edits[static_cast<std::size_t>(i)];
            e.assign(kHoldingRegisters, 0);
            bool any = false;
            std::string regs;
            int unread = 0;
            for (int r = 0; r < kHoldingRegisters; ++r) {
                const int reg = kFirstHolding + r;
                if (!store.isEdited(i, reg))
                    continue;
                if (store.commError(i, reg)) {
                    if (++unread <= 8)
                        regs += (regs.empty() ? "" : ", ") + std::to_string(reg);
                    continue;
                }
                e[static_cast<std::size_t>(r)] = 1;
                any = true;
            }
            if ((any || unread) && store.incomplete(i)) {
                store.stationSelected[i] = 0;
                leftOut.push_back(i);
                continue;
            }
            if (unread)
                neverRead += (neverRead.empty() ? "" : "; ") + std::string("station ") + std::to_string(i + 1) + ": "
                    + regs + (unread > 8 ? " and " + std::to_string(unread - 8) + " more" : "");
            if (!any)
                store.stationSelected[i] = 0;
        } else if (store.incomplete(i)) {
            store.stationSelected[i] = 0;
            leftOut.push_back(i);
        }
    }
    if (!leftOut.empty())
        reporter.notice("Left out of the download: station" + std::string(leftOut.size() > 1 ? "s " : " ")
                        + stationNumbers(leftOut)
                        + ". Some of their values were never read from the modules (an incomplete upload, or a "
                          "parameter file that says so or does not cover them); upload them again first.");
    if (!neverRead.empty())
        reporter.notice("Not written, because the module's value was never read: " + neverRead
                        + ". They stay red; upload the station and enter them again.");

    int selected = 0;
    for (int i = 0; i < kStations; ++i)
        selected += store.stationSelected[i] ? 1 : 0;
    if (type == TransferType::OnlineStart)
        waitMs(300);
    reporter.progressStart(progressTotal(selected));

    int result = selected ? kCommOk : -1;
    const bool family0 = m_ctx.tables.family() == 0;
    const auto selectedAtStart = store.stationSelected;
    if (check) {
        // The module on the line must be the one configured for the station.
        result = identifySelected(true, result, [&](int i, const std::uint16_t (&words)[13]) {
            if (std::memcmp(words, store.record(i).identification, sizeof words) == 0)
                return true;
            reporter.message(111, stationSuffix(i + 1, true));
            return false;
        });
    }
    if (reads)
        result = identifySelected(false, result, [](int, const std::uint16_t (&)[13]) { return true; });
    // A changes download and a comparison leave the marks of what they do not touch.
    if (!changes && !compare)
        store.clearCommErrors();
    // A station left out for its identification was not transferred: its values are not the
    // module's, so they show as failed rather than as good.
    for (int i = 0; i < kStations; ++i) {
        // A changes download leaves the typed values as they are, for the next one.
        if (selectedAtStart[i] && !store.stationSelected[i] && !compare && !changes)
            store.setCommError(i, kFirstHolding, kHoldingRegisters);
    }
    std::vector<int> writing;
    for (int i = 0; i < kStations; ++i) {
        if (store.stationSelected[i])
            writing.push_back(i + 1);
    }
    DownloadJournal journal(m_ctx.master.link().settings().workingDir);
    if (download && !writing.empty()) {
        const PortHandle port = m_ctx.master.link().linkHandle();
        std::string error;
        if (!journal.begin(writing, port ? port->device() : std::string(), &error))
            reporter.notice("The download cannot be recorded as started (" + error
                            + "); if it is interrupted, nothing will say so later.");
        // The pre-download registers go first, so that a new range or input type is in place
        // before the values that depend on it.
        if (family0)
            writePreDownload(changes ? &edits : nullptr);
    } else if (reads) {
        store.rebuildChannelLists();
    }
    const Direction direction = download ? Direction::Write : Direction::Read;
    std::vector<int> silent;
    int silentInARow = 0;
    std::array<bool, kStations> verifiedStation{};
    for (int i = 0; i < kStations; ++i) {
        if (!store.stationSelected[i])
            continue;
        if (m_ctx.lineDead) {
            if (!changes && !compare)
                store.setCommError(i, kFirstHolding, kHoldingRegisters);
            continue;
        }
        waitMs(10);
        if (compare) {
            compareStation(i);
        } else if (changes) {
            // What the pre-download wrote is not written twice.
            auto only = edits[static_cast<std::size_t>(i)];
            const auto& done = m_writtenMask[static_cast<std::size_t>(i)];
            for (std::size_t r = 0; r < done.size(); ++r)
                only[r] = only[r] && !done[r];
            transferStation(direction, i, true, false, &only);
        } else {
            transferStation(direction, i, true);
        }
        if (lastStationSilent()) {
            silent.push_back(i);
            if (++silentInARow >= kSilentStations) {
                m_ctx.lineDead = true;
                m_ctx.master.link().noteLost("two stations in a row answer nothing");
            }
            reporter.note("Station " + std::to_string(i + 1) + " does not answer: it is left.");
            continue;
        }
        silentInARow = 0;
        if (download && m_ctx.verifyAfterDownload && !m_ctx.stopRequested && !m_ctx.lineDead) {
            m_ctx.verified = true;
            verifiedStation[static_cast<std::size_t>(i)] = true;
            verifyStation(i, changes);
        } else if (changes && !m_ctx.verifyAfterDownload) {
            // Without a verify, what the module acknowledged is no longer a pending change.
            const auto& done = m_writtenMask[static_cast<std::size_t>(i)];
            for (std::size_t r = 0; r < done.size(); ++r) {
                if (done[r])
                    store.clearEdited(i, kFirstHolding + static_cast<int>(r));
            }
        }
        waitMs(10);
        if (reads && !m_ctx.lineDead)
            transferStation(Direction::Read, i, false);
    }
    if (reads) {
        store.clearEditedFlags();
        // What was not read whole is marked, so that it is never downloaded as if it were.
        for (int i = 0; i < kStations; ++i) {
            if (selectedAtStart[i])
                store.setIncomplete(i, !store.stationSelected[i] || anyMappedFailed(i));
        }
    }
    if (download && !writing.empty()) {
        // Every register meant and not written is counted; a station leaves the journal only
        // when its download completed, so a dead line or a stop still says so at the next start.
        std::vector<int> completed;
        std::string notWritten;
        for (int station : writing) {
            const int i = station - 1;
            const int n = unwritten(i, changes ? &edits[static_cast<std::size_t>(i)] : nullptr);
            const auto& done = m_writtenMask[static_cast<std::size_t>(i)];
            const int written = static_cast<int>(std::count(done.begin(), done.end(), 1));
            if (m_ctx.verifyAfterDownload && !verifiedStation[static_cast<std::size_t>(i)])
                m_ctx.notConfirmed += written;
            if (n == 0) {
                completed.push_back(station);
                continue;
            }
            m_ctx.notWritten += n;
            m_ctx.notWrittenStations.push_back(station);
            notWritten += (notWritten.empty() ? "" : ", ") + std::string("station ") + std::to_string(station) + " ("
                + std::to_string(n) + (n == 1 ? " register" : " registers") + ")";
        }
        journal.finish(completed);
        appendDownloadRecord(type, writing);
        // One message for how the download ended short.
        std::string why;
        if (m_ctx.lineDead)
            why = "The line stopped answering, so the download was ended. ";
        else if (!silent.empty())
            why = "No answer from station" + std::string(silent.size() > 1 ? "s " : " ") + stationNumbers(silent) + ". ";
        else if (m_ctx.stopRequested)
            why = "The download was stopped. ";
        if (!notWritten.empty())
            reporter.notice(why + "Not written: " + notWritten + (changes ? "; those changes stay red." : "."));
        else if (m_ctx.lineDead)
            reporter.notice(why);
    } else if (m_ctx.lineDead) {
        std::vector<int> notDone;
        for (int i = 0; i < kStations; ++i) {
            if (selectedAtStart[i] && (!store.stationSelected[i] || (!compare && anyMappedFailed(i))))
                notDone.push_back(i);
        }
        const char* what = compare ? "comparison" : download ? "download" : "upload";
        reporter.notice("The line stopped answering, so the " + std::string(what) + " was ended."
                        + (notDone.empty() ? std::string() : " Not transferred completely: station" + std::string(notDone.size() > 1 ? "s " : " ")
                                                                 + stationNumbers(notDone) + "."));
    } else if (!silent.empty()) {
        reporter.notice("No answer from station" + std::string(silent.size() > 1 ? "s " : " ") + stationNumbers(silent)
                        + ": left out part-way, their values not all read.");
    }
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
