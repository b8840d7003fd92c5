// The value range of a channel being written (cn_val_range_min/max): the smallest and largest
// value ever written, widened batch by batch. NaN never enters a range.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <type_traits>

#include "content/value_kinds.h"
#include "writer/write_session.h"

namespace tarvik {

// Widens the channel's value range to [low, high].
inline void mergeRange(ChannelSlot& slot, double low, double high) {
    if (!slot.rangeValid) {
        slot.rangeValid = slot.rangeChanged = true;
        slot.rangeMin = low;
        slot.rangeMax = high;
        return;
    }
    if (low < slot.rangeMin) slot.rangeMin = low, slot.rangeChanged = true;
    if (high > slot.rangeMax) slot.rangeMax = high, slot.rangeChanged = true;
}

// The running minimum and maximum of a run of values. std::min and std::max keep their first
// argument against a NaN, so once started on a number the run needs no test of its own; two
// independent pairs halve the chain of dependent comparisons.
template <NumericKind T>
struct RangeRun {
    explicit RangeRun(T first) : low0(first), high0(first), low1(first), high1(first) {}
    void take(T a, T b) {
        low0 = std::min(low0, a), high0 = std::max(high0, a);
        low1 = std::min(low1, b), high1 = std::max(high1, b);
    }
    void take(T a) { low0 = std::min(low0, a), high0 = std::max(high0, a); }
    void mergeInto(ChannelSlot& slot) const {
        mergeRange(slot, static_cast<double>(std::min(low0, low1)), static_cast<double>(std::max(high0, high1)));
    }
    T low0, high0, low1, high1;
};

// The index of the first value that can start a range (NaN cannot); `count` when none can.
template <NumericKind T>
std::uint64_t firstRangeValue(const T* values, std::uint64_t count) {
    std::uint64_t i = 0;
    if constexpr (std::is_floating_point_v<T>)
        while (i < count && std::isnan(values[i])) ++i;
    return i;
}

// The floating-point runs go through the widest vector instructions the processor has.
void widenRun(RangeRun<double>& run, const double* values, std::uint64_t& i, std::uint64_t count);
void widenRun(RangeRun<float>& run, const float* values, std::uint64_t& i, std::uint64_t count);
// Integers: the scalar run, two pairs at a time.
template <NumericKind T>
void widenRun(RangeRun<T>& run, const T* values, std::uint64_t& i, std::uint64_t count) {
    for (; i + 2 <= count; i += 2) run.take(values[i], values[i + 1]);
}

// Widens the channel's value range by `count` values (NaN never enters a range).
template <NumericKind T>
void widenRange(ChannelSlot& slot, const T* values, std::uint64_t count) {
    std::uint64_t i = firstRangeValue(values, count);
    if (i == count) return;
    RangeRun<T> run(values[i]);
    widenRun(run, values, i, count);
    for (; i < count; ++i) run.take(values[i]);
    run.mergeInto(slot);
}

}  // namespace tarvik
