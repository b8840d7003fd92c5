#include "convert/value_tables.h"

#include <algorithm>
#include <cmath>

namespace tarvik::convert {

namespace {

// Index of the last key at or below x, for x strictly between the first and the last key of
// a table of at least two. Kept inside the table whatever the keys hold (a NaN key, keys out of
// order in a damaged file), so the entry after it always exists.
std::size_t lowerKey(std::span<const MF4ValuePair> pairs, double x) {
    const auto above = std::upper_bound(pairs.begin(), pairs.end(), x,
                                        [](double value, const MF4ValuePair& pair) {
                                            return value < pair.key;
                                        });
    const auto position = static_cast<std::size_t>(above - pairs.begin());
    return std::clamp<std::size_t>(position, 1, pairs.size() - 1) - 1;
}

// The value for x of a table of at least one key: NaN stays NaN, at or beyond the first or last
// key that key's value, else what `between` makes of the two keys around x.
template <typename Between>
double lookUp(std::span<const MF4ValuePair> pairs, double x, Between between) {
    if (std::isnan(x)) return x;
    if (pairs.size() == 1 || x <= pairs.front().key) return pairs.front().value;
    if (x >= pairs.back().key) return pairs.back().value;
    const std::size_t i = lowerKey(pairs, x);
    return between(pairs[i], pairs[i + 1], x);
}

}  // namespace

double interpolated(std::span<const MF4ValuePair> pairs, double x) {
    return lookUp(pairs, x, [](const MF4ValuePair& low, const MF4ValuePair& high, double x) {
        if (x == low.key) return low.value;
        return low.value + (high.value - low.value) * (x - low.key) / (high.key - low.key);
    });
}

double nearest(std::span<const MF4ValuePair> pairs, double x) {
    return lookUp(pairs, x, [](const MF4ValuePair& low, const MF4ValuePair& high, double x) {
        return high.key - x < x - low.key ? high.value : low.value;
    });
}

std::size_t matchingValue(std::span<const MF4ValueText> entries, double x) {
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].value == x) return i;
    return entries.size();
}

std::size_t matchingRange(std::span<const MF4RangeText> entries, double x, bool integerRaw) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const MF4RangeText& range = entries[i];
        if (range.lower <= x && (integerRaw ? x <= range.upper : x < range.upper)) return i;
    }
    return entries.size();
}

}  // namespace tarvik::convert
