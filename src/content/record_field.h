// Turning the bytes of a record into typed values: the bit-exact extraction of a channel's field
// that every numeric read goes through (the data readers, and the repair of unfinished files
// reading master values), and the byte order rule. One template serves all ten numeric kinds;
// only the width, the signedness and the float bit patterns tell them apart.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "blocks/cn_block.h"
#include "content/value_kinds.h"

namespace tarvik {

// The unsigned integer with the width of T: the carrier of T's bit pattern.
template <NumericKind T>
using BitPatternOf = std::conditional_t<
    sizeof(T) == 1, std::uint8_t,
    std::conditional_t<sizeof(T) == 2, std::uint16_t,
                       std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;

namespace detail {

// The field bits that survive the shift, as a little-endian number in the low bits of a u64:
// `scratch` holds sizeof(T) + 1 bytes (the field's bytes in little-endian order, zero beyond
// them), and the bit offset is below 8.
template <NumericKind T>
std::uint64_t shiftScratch(const std::uint8_t (&scratch)[sizeof(T) + 1], std::uint32_t bitOffset) {
    if constexpr (sizeof(T) < 8) {
        // Up to five bytes: one word holds the scratch whole.
        std::uint64_t word = 0;
        std::memcpy(&word, scratch, sizeof scratch);
        return word >> bitOffset;
    } else {
        // Nine bytes: the ninth supplies the top bits the shift leaves free.
        std::uint64_t word = 0;
        std::memcpy(&word, scratch, 8);
        if (bitOffset == 0) return word;
        return (word >> bitOffset) | (std::uint64_t{scratch[8]} << (64 - bitOffset));
    }
}

// Everything but the fast path: fields at a bit offset, narrower or wider than T, big-endian.
template <NumericKind T>
T decodeShiftedField(const std::uint8_t* record, std::uint32_t byteOffset,
                     std::uint32_t bitOffset, std::uint32_t bitCount, bool bigEndian) {
    constexpr std::uint32_t kBits = sizeof(T) * 8;
    constexpr std::uint32_t kScratchBytes = sizeof(T) + 1;
    if (bitCount == 0) return T{};
    const std::uint32_t keptBits = std::min(bitCount, kBits);
    // Whole bytes of bit offset: in a little-endian field the low bytes are skipped; in a
    // big-endian one the low bytes are the last ones, which the shift would drop anyway.
    const std::uint32_t skippedBytes = bitOffset / 8;
    bitOffset %= 8;
    const std::uint64_t fieldBytes = (std::uint64_t{bitOffset} + bitCount + 7) / 8;

    std::uint8_t scratch[kScratchBytes] = {};
    if (bigEndian) {
        // Of a field wider than the scratch only its last (least significant) bytes matter.
        const auto kept =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(fieldBytes, kScratchBytes));
        const std::uint8_t* last = record + byteOffset + (fieldBytes - 1);
        for (std::uint32_t i = 0; i < kept; ++i) scratch[i] = *(last - i);
    } else {
        const auto kept = static_cast<std::uint32_t>((bitOffset + keptBits + 7) / 8);
        std::memcpy(scratch, record + std::uint64_t{byteOffset} + skippedBytes, kept);
    }

    std::uint64_t bits = shiftScratch<T>(scratch, bitOffset);
    if (keptBits < 64) bits &= (std::uint64_t{1} << keptBits) - 1;
    auto pattern = static_cast<BitPatternOf<T>>(bits);
    if constexpr (std::is_signed_v<T> && std::is_integral_v<T>) {
        if (keptBits < kBits && ((pattern >> (keptBits - 1)) & 1u) != 0)
            pattern |= static_cast<BitPatternOf<T>>(~std::uint64_t{0} << keptBits);
    }
    return std::bit_cast<T>(pattern);
}

}  // namespace detail

// The field of `bitCount` bits that starts `bitOffset` bits into the byte at `byteOffset` of
// `record`, as T. A little-endian field at bit offset 0 that is as wide as T (or up to 7 bits
// wider) is a plain load. Otherwise the field's bytes, reversed when big-endian, are shifted
// down by the bit offset and cut to the bit count; signed kinds are sign-extended from a
// narrower field, and a float of another width is the bit pattern so produced. Bit counts
// beyond T's width keep T's low bits. Reads no byte beyond byteOffset + ceil((bitOffset +
// bitCount) / 8).
template <NumericKind T>
inline T decodeField(const std::uint8_t* record, std::uint32_t byteOffset, std::uint32_t bitOffset,
                     std::uint32_t bitCount, bool bigEndian) {
    constexpr std::uint32_t kBits = sizeof(T) * 8;
    if (bitOffset == 0 && !bigEndian && bitCount - kBits < 8) [[likely]] {
        T value;
        std::memcpy(&value, record + byteOffset, sizeof(T));
        return value;
    }
    return detail::decodeShiftedField<T>(record, byteOffset, bitOffset, bitCount, bigEndian);
}

namespace detail {

// Everything but the fast path of encodeField.
template <NumericKind T>
void encodeShiftedField(std::uint8_t* record, std::uint32_t byteOffset, std::uint32_t bitOffset,
                        std::uint32_t bitCount, bool bigEndian, T value) {
    if (bitCount == 0) return;
    std::uint64_t bits = 0;
    if constexpr (std::is_signed_v<T> && std::is_integral_v<T>)
        bits = static_cast<std::uint64_t>(static_cast<std::int64_t>(value));  // sign bits for wider fields
    else
        bits = std::bit_cast<BitPatternOf<T>>(value);
    const std::uint32_t skippedBytes = bitOffset / 8;
    bitOffset %= 8;
    const std::uint32_t keptBits = std::min<std::uint32_t>(bitCount, 64);
    const std::uint64_t fieldBytes = (std::uint64_t{bitOffset} + bitCount + 7) / 8;
    // The low end of the field, least significant byte first, in nine bytes at most.
    const auto kept = static_cast<std::uint32_t>(std::min<std::uint64_t>((bitOffset + keptBits + 7) / 8, 9));
    std::uint8_t* low = bigEndian ? record + byteOffset + (fieldBytes - 1) : record + byteOffset + skippedBytes;
    std::uint8_t scratch[9] = {};
    for (std::uint32_t i = 0; i < kept; ++i) scratch[i] = bigEndian ? *(low - i) : low[i];

    const std::uint64_t mask = keptBits < 64 ? (std::uint64_t{1} << keptBits) - 1 : ~std::uint64_t{0};
    std::uint64_t word = 0;
    std::memcpy(&word, scratch, 8);
    word = (word & ~(mask << bitOffset)) | ((bits & mask) << bitOffset);
    std::memcpy(scratch, &word, 8);
    if (bitOffset != 0 && bitOffset + keptBits > 64) {
        const std::uint64_t highMask = mask >> (64 - bitOffset), highBits = (bits & mask) >> (64 - bitOffset);
        scratch[8] = static_cast<std::uint8_t>((scratch[8] & ~highMask) | highBits);
    }
    for (std::uint32_t i = 0; i < kept; ++i) {
        if (bigEndian) *(low - i) = scratch[i];
        else low[i] = scratch[i];
    }
}

}  // namespace detail

// Puts `value` into the field decodeField reads back, for values the field can hold: the
// inverse of decodeField. Bits of the bytes the field shares with its neighbours keep their
// values; of a field wider than 64 bits only the low 64 are written.
template <NumericKind T>
inline void encodeField(std::uint8_t* record, std::uint32_t byteOffset, std::uint32_t bitOffset,
                        std::uint32_t bitCount, bool bigEndian, T value) {
    if (bitOffset == 0 && !bigEndian && bitCount == sizeof(T) * 8) [[likely]] {
        std::memcpy(record + byteOffset, &value, sizeof(T));
        return;
    }
    detail::encodeShiftedField<T>(record, byteOffset, bitOffset, bitCount, bigEndian, value);
}

// True when a field of this data type is stored most significant byte first. The offsets a
// variable-length channel keeps in its record are little-endian whatever its data type says.
constexpr bool isBigEndian(std::uint8_t dataType, std::uint8_t channelType) {
    const bool bigEndianType = dataType == 1 || dataType == 3 || dataType == 5 || dataType == 9;
    return bigEndianType && channelType != kCnVariableLength;
}

// A channel's numeric field at a fixed place of records of a known size, for loops that decode
// it from many records. A field that does not lie inside the record (a damaged channel) reads
// as 0.
template <NumericKind T>
class RecordField {
public:
    RecordField(const CnRecord& channel, std::int64_t extraOffset, std::uint64_t recordSize)
        : bitOffset_(channel.cn_bit_offset), bitCount_(channel.cn_bit_count),
          bigEndian_(isBigEndian(channel.cn_data_type, channel.cn_type)) {
        const std::int64_t offset = static_cast<std::int64_t>(channel.cn_byte_offset) + extraOffset;
        const std::uint64_t bytes = (std::uint64_t{bitOffset_} + bitCount_ + 7) / 8;
        inside_ = offset >= 0 && bytes <= recordSize &&
                  static_cast<std::uint64_t>(offset) <= recordSize - bytes;
        byteOffset_ = inside_ ? static_cast<std::uint32_t>(offset) : 0;
    }

    T read(const std::uint8_t* record) const {
        return inside_ ? decodeField<T>(record, byteOffset_, bitOffset_, bitCount_, bigEndian_) : T{};
    }
    bool inside() const { return inside_; }

private:
    std::uint32_t byteOffset_ = 0;
    std::uint32_t bitOffset_;
    std::uint32_t bitCount_;
    bool bigEndian_;
    bool inside_ = false;
};

}  // namespace tarvik
