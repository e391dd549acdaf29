#pragma once
// Channel copy and station copy inside the store: nothing goes to the modules until the user
// downloads. What a copy changed is marked edited, so the view shows it red and "download
// changes" writes exactly that; a register whose source was never read stays failed.

#include <cstdint>

namespace vok {

class DataStore;

enum class CopyResult {
    Done,
    Reversed,     // the first target lies after the last
    Incompatible, // the model letters of source and targets do not fit
    NoStation,    // a station that is not defined
};

// The station copy rule on model letters: from A or B only onto A or B; from V, N or T only
// onto the same letter; any other source unchecked. Only the first and last target count.
bool modelsFit(char from, char first, char last);

struct CopyCount {
    CopyResult result = CopyResult::Done;
    int changed = 0; // registers whose value the copy changed
};

// The 1000-register block of channel `from` (1-4) onto channels `first`..`last` of the same
// station (1-32).
CopyCount copyChannel(DataStore& store, int station, int from, int first, int last);
// Registers 40000-49999 of station `from` onto stations `first`..`last`; `checkModels` applies
// modelsFit (the control stations), the event stations are not checked.
CopyCount copyStation(DataStore& store, int from, int first, int last, bool checkModels);

} // namespace vok
