// The typed work of a reduction: reading a field's values from records, keeping the running
// minimum, maximum, sum and count of each level's open interval, combining an interval into the
// next level's, and writing a row. Written once as templates over the ten numeric kinds.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <type_traits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "content/record_field.h"
#include "content/value_type.h"
#include "content/value_kinds.h"
#include "writer/reduction_layout.h"

namespace tarvik {

// One reduced field of a group, across all levels.
class FieldReduction {
public:
    virtual ~FieldReduction() = default;
    virtual void addLevel() = 0;
    // Adds `count` records, `stride` bytes apart, to level 0's open interval.
    virtual void feed(const std::uint8_t* records, std::uint64_t count, std::uint64_t stride) = 0;
    // Adds the open interval of `level` to the open interval of level + 1.
    virtual void handUp(std::size_t level) = 0;
    // Writes the open interval of `level` into `row` (its mean, minimum and maximum parts are
    // `dataBytes` apart) and empties it. `index` and `interval` place the interval in time.
    virtual void emit(std::size_t level, std::uint8_t* row, std::uint32_t dataBytes, std::uint64_t index,
                      double interval) = 0;
};

// The master: its values give the records' times, and its row holds the interval's time and the
// smallest and largest step between consecutive values.
class MasterReduction : public FieldReduction {
public:
    // The times of `count` records relative to the first record ever given, in time units.
    virtual void times(const std::uint8_t* records, std::uint64_t count, std::uint64_t stride, double* out) = 0;
};

namespace reduction_detail {

// 128 bits: a sum of 32- and 64-bit integers that no interval overflows.
__extension__ typedef __int128 WideSum;

// The sum of an interval's values: wide enough that no interval overflows it.
template <NumericKind T>
using SumOf = std::conditional_t<std::is_floating_point_v<T>, double,
                                 std::conditional_t<(sizeof(T) <= 2), std::int64_t, WideSum>>;

template <NumericKind T>
T readField(const ReducedField& field, const std::uint8_t* record) {
    return decodeField<T>(record, field.byteOffset, field.bitOffset, field.bitCount, field.bigEndian);
}

// True when the field is a plain load: little-endian, T's width, starting on a byte.
template <NumericKind T>
bool isPlain(const ReducedField& field) {
    return !field.bigEndian && field.bitOffset == 0 && field.bitCount == sizeof(T) * 8;
}

template <NumericKind T>
void writeField(const ReducedField& field, std::uint8_t* record, T value) {
    encodeField<T>(record, field.byteOffset, field.bitOffset, field.bitCount, field.bigEndian, value);
}

// The open interval of one level for one field: minimum, maximum, sum and count. Minimum and
// maximum are those of the values that are not NaN, so a NaN never hides the extremes after it;
// they start at the ends of the type's range, and only an interval of NaN values alone keeps
// minimum above maximum (its extremes are then NaN). The sum takes every value.
template <NumericKind T>
struct Extremes {
    T minimum = std::numeric_limits<T>::has_infinity ? std::numeric_limits<T>::infinity() : std::numeric_limits<T>::max();
    T maximum = std::numeric_limits<T>::has_infinity ? -std::numeric_limits<T>::infinity() : std::numeric_limits<T>::lowest();
    SumOf<T> sum{};
    std::uint64_t count = 0;

    // Adds the values `read` gives for `count` records, `stride` bytes apart. Four independent
    // sets of running figures, kept in registers, let the additions and comparisons of
    // consecutive values overlap instead of waiting for each other.
    template <typename Read>
    void addAll(const std::uint8_t* record, std::uint64_t count, std::uint64_t stride, Read read) {
        constexpr std::size_t kLanes = 4;
        T low[kLanes], high[kLanes];
        SumOf<T> total[kLanes] = {};
        for (std::size_t lane = 0; lane < kLanes; ++lane) low[lane] = minimum, high[lane] = maximum;
        auto take = [&](std::size_t lane, T value) {
            total[lane] += value;
            low[lane] = value < low[lane] ? value : low[lane];
            high[lane] = value > high[lane] ? value : high[lane];
        };
        std::uint64_t r = 0;
        for (; r + kLanes <= count; r += kLanes, record += kLanes * stride)
            for (std::size_t lane = 0; lane < kLanes; ++lane) take(lane, read(record + lane * stride));
        for (; r < count; ++r, record += stride) take(0, read(record));
        for (std::size_t lane = 0; lane < kLanes; ++lane) {
            sum += total[lane];
            minimum = low[lane] < minimum ? low[lane] : minimum;
            maximum = high[lane] > maximum ? high[lane] : maximum;
        }
        this->count += count;
    }
    void merge(const Extremes& lower) {
        sum += lower.sum;
        count += lower.count;
        minimum = lower.minimum < minimum ? lower.minimum : minimum;
        maximum = lower.maximum > maximum ? lower.maximum : maximum;
    }
    // The extremes as stored: NaN for an interval of NaN values alone.
    T lowest() const { return minimum > maximum ? nanOr(T{}) : minimum; }
    T highest() const { return minimum > maximum ? nanOr(T{}) : maximum; }
    static T nanOr(T otherwise) {
        if constexpr (std::numeric_limits<T>::has_quiet_NaN) return std::numeric_limits<T>::quiet_NaN();
        else return otherwise;
    }
    // Floating-point means are stored as they come; integer means are rounded half away from
    // zero, exactly (a double could not hold every 64-bit sum).
    T mean() const {
        if (count == 0) return T{};
        if constexpr (std::is_floating_point_v<T>) {
            return static_cast<T>(sum / static_cast<double>(count));
        } else {
            const auto divisor = static_cast<SumOf<T>>(count);
            SumOf<T> quotient = sum / divisor;
            const SumOf<T> remainder = sum % divisor;
            const SumOf<T> twice = remainder < 0 ? -2 * remainder : 2 * remainder;
            if (twice >= divisor) quotient += sum < 0 ? -1 : 1;
            return static_cast<T>(quotient);
        }
    }
};

template <NumericKind T>
class DataFieldReduction final : public FieldReduction {
public:
    explicit DataFieldReduction(const ReducedField& field)
        : field_(field), plain_(isPlain<T>(field)) {}

    void addLevel() override { levels_.emplace_back(); }

    void feed(const std::uint8_t* records, std::uint64_t count, std::uint64_t stride) override {
        if (plain_) {
            // The common field: little-endian, as wide as its type, on a byte boundary.
            levels_[0].addAll(records + field_.byteOffset, count, stride, [](const std::uint8_t* at) {
                T value;
                std::memcpy(&value, at, sizeof value);
                return value;
            });
        } else {
            levels_[0].addAll(records, count, stride, [this](const std::uint8_t* at) { return readField<T>(field_, at); });
        }
    }

    void handUp(std::size_t level) override { levels_[level + 1].merge(levels_[level]); }

    void emit(std::size_t level, std::uint8_t* row, std::uint32_t dataBytes, std::uint64_t, double) override {
        Extremes<T>& open = levels_[level];
        writeField<T>(field_, row, open.mean());
        writeField<T>(field_, row + dataBytes, open.lowest());
        writeField<T>(field_, row + 2 * std::uint64_t{dataBytes}, open.highest());
        open = Extremes<T>{};
    }

private:
    ReducedField field_;
    bool plain_;
    std::vector<Extremes<T>> levels_;
};

#if defined(__SSE2__)
// Two plain float64 fields side by side (neighbouring channels, or neighbouring elements of an
// array): both are reduced with one vector instruction per step, in two independent lanes. The
// vector minimum and maximum keep their second operand when the value is NaN, just as the
// scalar comparisons do.
class DoublePairReduction final : public FieldReduction {
public:
    DoublePairReduction(const ReducedField& first, const ReducedField& second) : fields_{first, second} {}

    void addLevel() override { levels_.emplace_back(); }

    void feed(const std::uint8_t* records, std::uint64_t count, std::uint64_t stride) override {
        std::array<Extremes<double>, 2>& open = levels_[0];
        // Two lanes by name, so that the compiler keeps them in registers.
        Lane a(open), b(open);
        const std::uint8_t* record = records + fields_[0].byteOffset;
        std::uint64_t r = 0;
        for (; r + 2 <= count; r += 2, record += 2 * stride) {
            a.take(record);
            b.take(record + stride);
        }
        if (r < count) a.take(record);
        a.merge(b);
        a.into(open);
        open[0].count += count;
        open[1].count += count;
    }

    void handUp(std::size_t level) override {
        for (std::size_t f = 0; f < 2; ++f) levels_[level + 1][f].merge(levels_[level][f]);
    }

    void emit(std::size_t level, std::uint8_t* row, std::uint32_t dataBytes, std::uint64_t, double) override {
        for (std::size_t f = 0; f < 2; ++f) {
            Extremes<double>& open = levels_[level][f];
            writeField<double>(fields_[f], row, open.mean());
            writeField<double>(fields_[f], row + dataBytes, open.lowest());
            writeField<double>(fields_[f], row + 2 * std::uint64_t{dataBytes}, open.highest());
            open = Extremes<double>{};
        }
    }

private:
    // Running figures of both fields in one set of vector registers.
    struct Lane {
        __m128d low, high, total;
        explicit Lane(const std::array<Extremes<double>, 2>& open)
            : low(_mm_set_pd(open[1].minimum, open[0].minimum)), high(_mm_set_pd(open[1].maximum, open[0].maximum)),
              total(_mm_setzero_pd()) {}
        void take(const std::uint8_t* at) {
            const __m128d value = _mm_loadu_pd(reinterpret_cast<const double*>(at));
            total = _mm_add_pd(total, value);
            low = _mm_min_pd(value, low);
            high = _mm_max_pd(value, high);
        }
        void merge(const Lane& other) {
            total = _mm_add_pd(total, other.total);
            low = _mm_min_pd(other.low, low);
            high = _mm_max_pd(other.high, high);
        }
        void into(std::array<Extremes<double>, 2>& open) const {
            double sums[2], lows[2], highs[2];
            _mm_storeu_pd(sums, total);
            _mm_storeu_pd(lows, low);
            _mm_storeu_pd(highs, high);
            for (std::size_t f = 0; f < 2; ++f) {
                open[f].sum += sums[f];
                open[f].minimum = lows[f];
                open[f].maximum = highs[f];
            }
        }
    };

    std::array<ReducedField, 2> fields_;
    std::vector<std::array<Extremes<double>, 2>> levels_;
};
#endif

// The difference b - a; integers wrap rather than overflow when the values do not rise.
template <NumericKind T>
T stepBetween(T a, T b) {
    if constexpr (std::is_floating_point_v<T>) return b - a;
    else return static_cast<T>(static_cast<std::make_unsigned_t<T>>(b) - static_cast<std::make_unsigned_t<T>>(a));
}

// b - a as a double, exact for integers as far as a double carries.
template <NumericKind T>
double distance(T a, T b) {
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<double>(b) - static_cast<double>(a);
    } else {
        using U = std::make_unsigned_t<T>;
        if (b >= a) return static_cast<double>(static_cast<U>(static_cast<U>(b) - static_cast<U>(a)));
        return -static_cast<double>(static_cast<U>(static_cast<U>(a) - static_cast<U>(b)));
    }
}

template <NumericKind T>
class TypedMasterReduction final : public MasterReduction {
public:
    TypedMasterReduction(const ReducedField& field, double timeFactor)
        : field_(field), plain_(isPlain<T>(field)), factor_(timeFactor) {}

    void addLevel() override { levels_.emplace_back(); }

    void times(const std::uint8_t* records, std::uint64_t count, std::uint64_t stride, double* out) override {
        for (std::uint64_t r = 0; r < count; ++r) {
            const T value = valueAt(records + r * stride);
            if (!hasOrigin_) {
                origin_ = value;
                hasOrigin_ = true;
            }
            out[r] = distance(origin_, value) * factor_;
        }
    }

    void feed(const std::uint8_t* records, std::uint64_t count, std::uint64_t stride) override {
        Steps& open = levels_[0];
        for (std::uint64_t r = 0; r < count; ++r) {
            const T value = valueAt(records + r * stride);
            if (hasLast_) open.add(stepBetween(last_, value));
            last_ = value;
            hasLast_ = true;
        }
    }

    void handUp(std::size_t level) override { levels_[level + 1].merge(levels_[level]); }

    void emit(std::size_t level, std::uint8_t* row, std::uint32_t dataBytes, std::uint64_t index,
              double interval) override {
        Steps& open = levels_[level];
        writeField<T>(field_, row, rawTimeOf(index, interval));
        writeField<T>(field_, row + dataBytes, open.any ? open.smallest : T{});
        writeField<T>(field_, row + 2 * std::uint64_t{dataBytes}, open.any ? open.largest : T{});
        open = Steps{};
    }

private:
    // The smallest and largest step between consecutive values of an interval. A record's step
    // is the one from the record before it, so only the very first record has none.
    struct Steps {
        T smallest = std::numeric_limits<T>::max();
        T largest{};
        bool any = false;
        void add(T step) {
            if (!any) smallest = largest = step;
            else if (step < smallest) smallest = step;
            else if (step > largest) largest = step;
            any = true;
        }
        void merge(const Steps& lower) {
            if (!lower.any) return;
            add(lower.smallest);
            add(lower.largest);
        }
    };

    T valueAt(const std::uint8_t* record) const {
        if (plain_) {
            T value;
            std::memcpy(&value, record + field_.byteOffset, sizeof value);
            return value;
        }
        return readField<T>(field_, record);
    }

    // The start of interval `index` as a raw master value. The time is raised to the next
    // representable number while rounding would place it in the interval before.
    T rawTimeOf(std::uint64_t index, double interval) const {
        const double k = static_cast<double>(index);
        double time = k * interval;
        while (std::floor(time / interval) < k) time = std::nextafter(time, std::numeric_limits<double>::infinity());
        const double raw = time / factor_;
        if constexpr (std::is_floating_point_v<T>) {
            return static_cast<T>(static_cast<double>(origin_) + raw);
        } else {
            // Integers: the origin plus whole raw steps, without passing through a double that
            // could not hold a 64-bit time stamp.
            const double steps = std::floor(raw);
            if (!(steps >= 0)) return origin_;
            using U = std::make_unsigned_t<T>;
            const double room = static_cast<double>(static_cast<U>(static_cast<U>(std::numeric_limits<T>::max()) - static_cast<U>(origin_)));
            if (steps >= room) return std::numeric_limits<T>::max();
            return static_cast<T>(static_cast<U>(origin_) + static_cast<U>(steps));
        }
    }

    ReducedField field_;
    bool plain_;
    double factor_;
    T origin_{};
    bool hasOrigin_ = false;
    T last_{};
    bool hasLast_ = false;
    std::vector<Steps> levels_;
};

}  // namespace reduction_detail

// The reductions of `fields`, in their order; plain float64 fields side by side go in pairs.
inline std::vector<std::unique_ptr<FieldReduction>> makeFieldReductions(const std::vector<ReducedField>& fields) {
    std::vector<std::unique_ptr<FieldReduction>> made;
    for (std::size_t i = 0; i < fields.size(); ++i) {
#if defined(__SSE2__)
        auto plainDouble = [](const ReducedField& field) {
            return field.valueType == kVtR8 && reduction_detail::isPlain<double>(field);
        };
        if (i + 1 < fields.size() && plainDouble(fields[i]) && plainDouble(fields[i + 1]) &&
            fields[i + 1].byteOffset == fields[i].byteOffset + 8) {
            made.push_back(std::make_unique<reduction_detail::DoublePairReduction>(fields[i], fields[i + 1]));
            ++i;
            continue;
        }
#endif
        withNumericKind(fields[i].valueType, [&](auto kind) {
            made.push_back(std::make_unique<reduction_detail::DataFieldReduction<decltype(kind)>>(fields[i]));
        });
    }
    return made;
}

inline std::unique_ptr<MasterReduction> makeMasterReduction(const ReducedField& field, double timeFactor) {
    std::unique_ptr<MasterReduction> made;
    withNumericKind(field.valueType, [&](auto kind) {
        made = std::make_unique<reduction_detail::TypedMasterReduction<decltype(kind)>>(field, timeFactor);
    });
    return made;
}

}  // namespace tarvik
