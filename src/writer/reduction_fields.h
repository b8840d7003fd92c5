// The typed work of a reduction: reading a field's values from records, keeping the running
// minimum, maximum, sum and count of each level's open interval, combining an interval into the
// next level's, and writing a row. Written once as templates over the ten numeric kinds.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <type_traits>
#include <vector>

#include "content/record_field.h"
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

template <NumericKind T>
void writeField(const ReducedField& field, std::uint8_t* record, T value) {
    encodeField<T>(record, field.byteOffset, field.bitOffset, field.bitCount, field.bigEndian, value);
}

// The open interval of one level for one field. Minimum, maximum and sum start from the
// interval's first value. A NaN minimum is replaced by the values that follow until one is not
// NaN; later NaN values leave minimum and maximum alone, while the sum takes every value.
template <NumericKind T>
struct Extremes {
    T minimum{};
    T maximum{};
    SumOf<T> sum{};
    std::uint64_t count = 0;

    void start(T value) {
        minimum = maximum = value;
        sum = value;
        count = 1;
    }
    void add(T value) {
        sum += value;
        ++count;
        if constexpr (std::is_floating_point_v<T>) {
            if (std::isnan(minimum)) {
                minimum = maximum = value;
                return;
            }
        }
        if (value < minimum) minimum = value;
        if (value > maximum) maximum = value;
    }
    void merge(const Extremes& lower) {
        if (lower.count == 0) return;
        if (count == 0) {
            *this = lower;
            return;
        }
        sum += lower.sum;
        count += lower.count;
        if constexpr (std::is_floating_point_v<T>) {
            if (std::isnan(minimum)) {
                minimum = lower.minimum;
                maximum = lower.maximum;
                return;
            }
        }
        if (lower.minimum < minimum) minimum = lower.minimum;
        if (lower.maximum > maximum) maximum = lower.maximum;
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
    explicit DataFieldReduction(const ReducedField& field) : field_(field) {}

    void addLevel() override { levels_.emplace_back(); }

    void feed(const std::uint8_t* records, std::uint64_t count, std::uint64_t stride) override {
        if (count == 0) return;
        Extremes<T>& open = levels_[0];
        const std::uint8_t* record = records;
        const std::uint8_t* const end = records + count * stride;
        if (open.count == 0) {
            open.start(readField<T>(field_, record));
            record += stride;
        }
        for (; record != end; record += stride) open.add(readField<T>(field_, record));
    }

    void handUp(std::size_t level) override { levels_[level + 1].merge(levels_[level]); }

    void emit(std::size_t level, std::uint8_t* row, std::uint32_t dataBytes, std::uint64_t, double) override {
        Extremes<T>& open = levels_[level];
        writeField<T>(field_, row, open.mean());
        writeField<T>(field_, row + dataBytes, open.minimum);
        writeField<T>(field_, row + 2 * std::uint64_t{dataBytes}, open.maximum);
        open = Extremes<T>{};
    }

private:
    ReducedField field_;
    std::vector<Extremes<T>> levels_;
};

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
    TypedMasterReduction(const ReducedField& field, double timeFactor) : field_(field), factor_(timeFactor) {}

    void addLevel() override { levels_.emplace_back(); }

    void times(const std::uint8_t* records, std::uint64_t count, std::uint64_t stride, double* out) override {
        for (std::uint64_t r = 0; r < count; ++r) {
            const T value = readField<T>(field_, records + r * stride);
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
            const T value = readField<T>(field_, records + r * stride);
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
    double factor_;
    T origin_{};
    bool hasOrigin_ = false;
    T last_{};
    bool hasLast_ = false;
    std::vector<Steps> levels_;
};

}  // namespace reduction_detail

inline std::unique_ptr<FieldReduction> makeFieldReduction(const ReducedField& field) {
    std::unique_ptr<FieldReduction> made;
    withNumericKind(field.valueType, [&](auto kind) {
        made = std::make_unique<reduction_detail::DataFieldReduction<decltype(kind)>>(field);
    });
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
