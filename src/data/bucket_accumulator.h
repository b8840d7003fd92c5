// What one bucket of a down-sampled read has seen of one value of a record: its extremes with
// where they occurred, its sum for the mean, and what a bucket with nothing but NaN gives. T is
// the value's kind, M the kind of the positions (record index or raw master value).
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "data/value_decoding.h"

namespace tarvik {

// DownSampleMethod, as the caller's item says it.
enum class DownSampleMethod : std::uint32_t { MinMax = 0, Min = 1, Max = 2, Mean = 3 };

// A double brought to kind T: rounded half away from zero for integer kinds and held inside
// their range, so a mean or a position computed in double always has a value of T.
template <NumericKind T>
T fromDouble(double value) {
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(value);
    } else {
        if (std::isnan(value)) return T{};
        // std::round is half away from zero and exact; adding 0.5 first would round again
        // where doubles are 1 apart (beyond 2^52).
        const double rounded = std::round(value);
        // The limits as doubles: the upper one of 64-bit kinds rounds up to 2^63 or 2^64, which
        // T cannot hold, so a value reaching it takes T's maximum.
        constexpr double kLowest = static_cast<double>(std::numeric_limits<T>::lowest());
        constexpr double kHighest = static_cast<double>(std::numeric_limits<T>::max());
        if (rounded <= kLowest) return std::numeric_limits<T>::lowest();
        if (rounded >= kHighest) return std::numeric_limits<T>::max();
        return static_cast<T>(rounded);
    }
}

template <NumericKind T>
constexpr bool isNan(T value) {
    if constexpr (std::is_floating_point_v<T>) return std::isnan(value);
    else return (void)value, false;
}

template <NumericKind T, NumericKind M>
struct Accumulator {
    T minimum{};
    T maximum{};
    M xMinimum{};
    M xMaximum{};
    M xFirst{};          // where the bucket began: the place of a bucket of NaN only
    std::uint64_t count = 0;
    double sum = 0;
    T lastEmitted{};     // survives the bucket: the order of equal-place extremes follows it
    T nanValue{};        // the last NaN seen, given back by a bucket without any other value
    bool hasMinimum = false;
    bool hasMaximum = false;
    bool hasEmitted = false;

    void start(M x) {
        xFirst = xMinimum = xMaximum = x;
        count = 0;
        sum = 0;
        hasMinimum = hasMaximum = false;
    }

    // One value of the bucket. `candidate` is the maximum's candidate: the value itself, or the
    // maximum part of a reduction record whose minimum part is `value`. Comparisons are strict,
    // so of equal extremes the first keeps its place; a NaN never becomes an extreme.
    void add(DownSampleMethod method, M x, T value, T candidate) {
        if (method == DownSampleMethod::Mean) {
            ++count;
            sum += static_cast<double>(value);
            return;
        }
        if (method != DownSampleMethod::Max) {
            if (isNan(value)) nanValue = value;
            else if (!hasMinimum || value < minimum) minimum = value, xMinimum = x, hasMinimum = true;
        }
        if (method != DownSampleMethod::Min) {
            if (isNan(candidate)) nanValue = candidate;
            else if (!hasMaximum || candidate > maximum) maximum = candidate, xMaximum = x, hasMaximum = true;
        }
    }

    // The mean of the bucket in kind T: integer kinds rounded half away from zero, floats as
    // they come (a NaN in the bucket makes it NaN).
    T mean() const { return fromDouble<T>(count == 0 ? std::nan("") : sum / static_cast<double>(count)); }
};

}  // namespace tarvik
