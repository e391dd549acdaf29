#pragma once
// Undo and redo of offline changes of the store. A step is what one command changed (a
// value or code input with its dependent update, a channel or station copy): the values,
// edited flags, failure flags and the incomplete marks of the stations it touched, restored
// exactly. Online writes are on the module and are not steps.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vok {

class DataStore;

class UndoHistory {
public:
    explicit UndoHistory(DataStore& store, std::size_t limit = 200);
    ~UndoHistory();

    // Before a change: the stations (indexes) it may touch. A begin without its commit is
    // dropped by the next begin.
    void begin(const std::vector<int>& stationIndexes);
    // After it: records the step when anything changed; false when nothing did.
    bool commit(const std::string& label);

    bool canUndo() const { return !m_done.empty(); }
    bool canRedo() const { return !m_undone.empty(); }
    std::string undoLabel() const;
    std::string redoLabel() const;
    bool undo();
    bool redo();
    // The store was filled anew (a reception, a file, a download read back) or written
    // online: the steps no longer apply.
    void clear();

private:
    struct Snapshot;
    struct Step;
    void apply(const Step& step, bool forward);

    DataStore& m_store;
    std::size_t m_limit;
    std::vector<Snapshot> m_pending;
    std::vector<Step> m_done;
    std::vector<Step> m_undone;
};

} // namespace vok
