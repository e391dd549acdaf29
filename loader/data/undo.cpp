#include "undo.h"

#include "store.h"

#include <algorithm>
#include <cstring>

namespace vok {

struct UndoHistory::Snapshot {
    int station = 0;
    std::vector<std::uint16_t> values; // registers 30000-49999
    std::vector<std::uint8_t> edited;  // holding registers
    std::vector<std::uint8_t> failed;
    bool incomplete = false;
};

struct UndoHistory::Step {
    struct Change {
        int station;
        int index; // register - 30000
        std::uint16_t before, after;
    };
    struct Flag {
        int station;
        int reg;
        std::uint8_t editedBefore, editedAfter, failedBefore, failedAfter;
    };
    std::string label;
    std::vector<Change> values;
    std::vector<Flag> flags;
    std::vector<std::pair<int, std::pair<bool, bool>>> incomplete; // station, before, after
};

UndoHistory::UndoHistory(DataStore& store, std::size_t limit) : m_store(store), m_limit(limit) {}
UndoHistory::~UndoHistory() = default;

void UndoHistory::begin(const std::vector<int>& stationIndexes)
{
    m_pending.clear();
    for (int s : stationIndexes) {
        if (s < 0 || s >= kStations)
            continue;
        Snapshot snap;
        snap.station = s;
        const StationRecord& r = m_store.record(s);
        snap.values.assign(std::begin(r.values), std::end(r.values));
        snap.edited.assign(std::begin(r.edited), std::end(r.edited));
        snap.failed.resize(kHoldingRegisters);
        for (int i = 0; i < kHoldingRegisters; ++i)
            snap.failed[static_cast<std::size_t>(i)] = m_store.commError(s, kFirstHolding + i) != 0;
        snap.incomplete = m_store.incomplete(s);
        m_pending.push_back(std::move(snap));
    }
}

bool UndoHistory::commit(const std::string& label)
{
    Step step;
    step.label = label;
    for (const Snapshot& snap : m_pending) {
        const StationRecord& r = m_store.record(snap.station);
        for (int i = 0; i < static_cast<int>(snap.values.size()); ++i) {
            if (r.values[i] != snap.values[static_cast<std::size_t>(i)])
                step.values.push_back({snap.station, i, snap.values[static_cast<std::size_t>(i)], r.values[i]});
        }
        for (int i = 0; i < kHoldingRegisters; ++i) {
            const auto failed = static_cast<std::uint8_t>(m_store.commError(snap.station, kFirstHolding + i) != 0);
            const std::size_t k = static_cast<std::size_t>(i);
            if (r.edited[i] != snap.edited[k] || failed != snap.failed[k])
                step.flags.push_back({snap.station, kFirstHolding + i, snap.edited[k], r.edited[i], snap.failed[k], failed});
        }
        if (m_store.incomplete(snap.station) != snap.incomplete)
            step.incomplete.push_back({snap.station, {snap.incomplete, !snap.incomplete}});
    }
    m_pending.clear();
    if (step.values.empty() && step.flags.empty() && step.incomplete.empty())
        return false;
    m_done.push_back(std::move(step));
    if (m_done.size() > m_limit)
        m_done.erase(m_done.begin());
    m_undone.clear();
    return true;
}

std::string UndoHistory::undoLabel() const
{
    return m_done.empty() ? std::string() : m_done.back().label;
}

std::string UndoHistory::redoLabel() const
{
    return m_undone.empty() ? std::string() : m_undone.back().label;
}

void UndoHistory::apply(const Step& step, bool forward)
{
    for (const Step::Change& c : step.values)
        m_store.record(c.station).values[c.index] = forward ? c.after : c.before;
    for (const Step::Flag& f : step.flags) {
        const bool edited = forward ? f.editedAfter : f.editedBefore;
        const bool failed = forward ? f.failedAfter : f.failedBefore;
        if (edited)
            m_store.markEdited(f.station, f.reg);
        else
            m_store.clearEdited(f.station, f.reg);
        if (failed)
            m_store.setCommError(f.station, f.reg, 1);
        else
            m_store.clearCommError(f.station, f.reg, 1);
    }
    for (const auto& [station, states] : step.incomplete)
        m_store.setIncomplete(station, forward ? states.second : states.first);
}

bool UndoHistory::undo()
{
    if (m_done.empty())
        return false;
    apply(m_done.back(), false);
    m_undone.push_back(std::move(m_done.back()));
    m_done.pop_back();
    return true;
}

bool UndoHistory::redo()
{
    if (m_undone.empty())
        return false;
    apply(m_undone.back(), true);
    m_done.push_back(std::move(m_undone.back()));
    m_undone.pop_back();
    return true;
}

void UndoHistory::clear()
{
    m_pending.clear();
    m_done.clear();
    m_undone.clear();
}

} // namespace vok
