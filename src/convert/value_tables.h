// Look-ups in the tables of conversion types 4, 5, 7 and 8. The keys of a value table are in
// ascending order (the format requires it); text tables are searched in their own order,
// since the first matching entry wins.
#pragma once

#include <cstdint>
#include <span>

#include "TarvikMF4Access.h"

namespace tarvik::convert {

// Type 4: below the first key the first value, above the last the last value, on a key its
// value, between two keys the straight line between their values. NaN for NaN. `pairs` is
// not empty.
double interpolated(std::span<const MF4ValuePair> pairs, double x);

// Type 5: as interpolated, but between two keys the value of the nearer key, and exactly
// halfway the value of the lower key.
double nearest(std::span<const MF4ValuePair> pairs, double x);

// Type 7: position of the first entry whose value equals x; the table's size when none does.
std::size_t matchingValue(std::span<const MF4ValueText> entries, double x);

// Type 8: position of the first range that holds x; the table's size when none does. Integer
// raw values lie in [lower, upper], floating-point ones in [lower, upper).
std::size_t matchingRange(std::span<const MF4RangeText> entries, double x, bool integerRaw);

}  // namespace tarvik::convert
