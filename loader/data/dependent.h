#pragma once
// The recalculation that follows a change of a channel's defining registers (range,
// decimal point, unit, input type, alarm types, the limits of the limited value): the
// loader does it in the store when offline, and the simulated modules do it themselves.

#include "definitions.h"

#include <cstdint>

namespace vok {

class DataStore;

enum class DependencyKind : int {
    None = 0,
    LimitLower = 1,
    LimitUpper = 2,
    RangeLower = 3,
    RangeUpper = 4,
    DecimalPoint = 5,
    Unit = 6,
    AlarmType1 = 7, // 7-11: alarms 1-5
    InputType = 12,
};

// What a register is for its channel (0-3); None when it is none of the defining registers.
DependencyKind dependencyKind(const SpecialRegisters& specials, int channel, int reg);
// The kind and channel of a register, searching the four channels.
DependencyKind dependencyKindOf(const SpecialRegisters& specials, int reg, int& channel);

// Maps v from (base b1, span s1) to (base b2, span s2), rounded, limited to the target range.
int rescale(int v, int b1, int s1, int b2, int s2);

struct FixedRange {
    int maxDecimals;
    int lower;
    int upper;
};
// The fixed range of an input type (0-20), unit (0, 1) and decimal point; false when the
// table has no entry.
bool fixedRange(int inputType, int unit, int decimals, FixedRange& out);

// Brings the channel in line after `reg` of `station` (1-32) changed from `oldValue` (the
// new value is already stored). `mapKind` selects the register map (0 for stations 1-16).
// Every register changed here is marked edited when `markEdits` is set. Returns the kind.
DependencyKind applyDependentUpdate(DataStore& store, const SpecialRegisters& specials, const RegisterMaps& maps,
                                    int station, int channel, int reg, std::uint16_t oldValue, bool markEdits);

} // namespace vok
