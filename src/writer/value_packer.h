// Putting a batch of a channel's values into the records of a group: typed, one template over the
// value kind. Values whose width is the channel's and that start on a byte are copied as they
// are; every other field is inserted bit by bit, keeping the bits below it in its first byte.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "content/value_kinds.h"
#include "writer/write_session.h"

namespace tarvik {

// The records of a batch: `count` records of `stride` bytes.
struct RecordBatch {
    std::uint8_t* bytes = nullptr;
    std::uint64_t count = 0;
    std::uint32_t stride = 0;
};

// Puts the low `bitCount` bits of `bits` at bit `bitOffset` of `field`: the bits of the first
// byte below the offset stay, the rest of the bytes the field covers are overwritten.
inline void insertBits(std::uint8_t* field, std::uint8_t bitOffset, std::uint32_t bitCount, std::uint64_t bits) {
    if (bitCount < 64) bits &= (std::uint64_t{1} << bitCount) - 1;
    const std::uint32_t bytes = (bitOffset + bitCount + 7) / 8;
    field[0] = static_cast<std::uint8_t>((field[0] & ((1u << bitOffset) - 1u)) | (bits << bitOffset));
    bits >>= 8 - bitOffset;
    for (std::uint32_t i = 1; i < bytes; ++i, bits >>= 8) field[i] = static_cast<std::uint8_t>(bits);
}

// The bit pattern of a value, sign bits included, as the low bits of a u64.
template <NumericKind T>
std::uint64_t bitsOf(T value) {
    if constexpr (std::is_same_v<T, float>) return std::bit_cast<std::uint32_t>(value);
    else if constexpr (std::is_same_v<T, double>) return std::bit_cast<std::uint64_t>(value);
    else return static_cast<std::uint64_t>(static_cast<std::make_unsigned_t<T>>(value));
}

// Packs `values` (count x elements of T, record by record) into the channel's field of every
// record and widens the channel's value range by them (NaN never enters a range).
template <NumericKind T>
void packNumbers(ChannelSlot& slot, const T* values, RecordBatch batch) {
    const std::uint64_t elements = slot.elements;
    const std::uint32_t elementBytes = (slot.bitCount + 7) / 8;
    const bool direct = slot.bitOffset == 0 && slot.bitCount / 8 * 8 == sizeof(T) * 8;
    bool seen = false;
    T low{}, high{};
    std::uint8_t* record = batch.bytes + slot.byteOffset;
    for (std::uint64_t r = 0; r < batch.count; ++r, record += batch.stride) {
        std::uint8_t* field = record;
        for (std::uint64_t e = 0; e < elements; ++e, field += elementBytes) {
            const T value = *values++;
            if (direct) std::memcpy(field, &value, sizeof(T));
            else insertBits(field, slot.bitOffset, slot.bitCount, bitsOf(value));
            if constexpr (std::is_floating_point_v<T>)
                if (std::isnan(value)) continue;
            if (!seen) {
                low = high = value;
                seen = true;
            } else if (value < low) {
                low = value;
            } else if (value > high) {
                high = value;
            }
        }
    }
    if (!seen) return;
    const double lowValue = static_cast<double>(low), highValue = static_cast<double>(high);
    if (!slot.rangeValid) {
        slot.rangeValid = slot.rangeChanged = true;
        slot.rangeMin = lowValue;
        slot.rangeMax = highValue;
        return;
    }
    if (lowValue < slot.rangeMin) slot.rangeMin = lowValue, slot.rangeChanged = true;
    if (highValue > slot.rangeMax) slot.rangeMax = highValue, slot.rangeChanged = true;
}

// Copies `byteCount` raw bytes per element into the channel's field of every record.
inline void packBytes(const ChannelSlot& slot, const std::uint8_t* values, std::uint32_t byteCount, RecordBatch batch) {
    std::uint8_t* record = batch.bytes + slot.byteOffset;
    const std::uint64_t perRecord = std::uint64_t{byteCount} * slot.elements;
    for (std::uint64_t r = 0; r < batch.count; ++r, record += batch.stride, values += perRecord)
        std::memcpy(record, values, perRecord);
}

// The value at `index` of an array of numeric kind `valueType`, as a double (0 for other kinds).
inline double numberAt(const void* values, std::uint32_t valueType, std::uint64_t index) {
    double result = 0;
    withNumericKind(valueType, [&](auto kind) {
        using T = decltype(kind);
        result = static_cast<double>(static_cast<const T*>(values)[index]);
    });
    return result;
}

}  // namespace tarvik
