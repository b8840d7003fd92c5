// Field extraction, byte order, array element offsets and the bit packer, checked against bit
// patterns worked out by hand. Fields are read from heap buffers of exactly their size, so the
// sanitizer build catches a read past a field's last byte.
#include "data/value_decoding.h"

#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

namespace tarvik {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <typename T>
T decode(const Bytes& bytes, std::uint32_t bitOffset, std::uint32_t bitCount,
         bool bigEndian = false, std::uint32_t byteOffset = 0) {
    return decodeField<T>(bytes.data(), byteOffset, bitOffset, bitCount, bigEndian);
}

TEST(DecodeField, BitFieldsAreShiftedMaskedAndSignExtended) {
    // 12 bits at bit offset 4 holding 0x800; the low nibble belongs to another field.
    const Bytes twelve{0x0F, 0x80};
    EXPECT_EQ(decode<std::int16_t>(twelve, 4, 12), -2048);
    EXPECT_EQ(decode<std::uint16_t>(twelve, 4, 12), 0x800) << "unsigned kinds are not extended";
    EXPECT_EQ(decode<std::int16_t>(Bytes{0xF0, 0x7F}, 4, 12), 0x7FF);

    // Three bits at offset 2: 0b101 is -3, 0b011 is 3; the bits around stay out.
    EXPECT_EQ(decode<std::int8_t>(Bytes{0b1001'0111}, 2, 3), -3);
    EXPECT_EQ(decode<std::int8_t>(Bytes{0b1110'1100}, 2, 3), 3);

    // A whole byte of bit offset moves the field one byte on.
    EXPECT_EQ(decode<std::uint8_t>(Bytes{0x00, 0xA0}, 12, 4), 0xA);
    EXPECT_EQ(decode<std::uint32_t>(Bytes{0x11, 0x22, 0x33}, 0, 0), 0u) << "no bits, no value";
    EXPECT_EQ(decode<std::uint64_t>(Bytes{0x80, 0x01}, 7, 2), 3u) << "two bytes, no more read";
    EXPECT_EQ(decode<std::int64_t>(Bytes{0xC3}, 0, 8), -61);
    // Wider than the kind: its low bits, without sign extension from the field's top bit.
    EXPECT_EQ(decode<std::uint8_t>(Bytes{0x21, 0x43, 0x05}, 4, 16), 0x32);
    EXPECT_EQ(decode<std::int8_t>(Bytes{0x7F, 0x08}, 0, 12), 0x7F);
}

TEST(DecodeField, WholeWordsAndWordsAtABitOffset) {
    const Bytes bytes{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0xB5};
    const std::uint64_t word = 0xEFCDAB8967452301;
    EXPECT_EQ(decode<std::uint64_t>(bytes, 0, 64), word);
    EXPECT_EQ(decode<std::uint32_t>(bytes, 0, 32, false, 4), 0xEFCDAB89u);
    EXPECT_EQ(decode<std::uint16_t>(bytes, 0, 19), 0x2301) << "up to 7 bits more: a plain load";

    const std::uint64_t shifted = decode<std::uint64_t>(bytes, 1, 63);
    EXPECT_EQ(shifted, word >> 1);
    EXPECT_EQ(shifted >> 63, 0u);
    // 64 bits at bit offset 3 span nine bytes; the ninth supplies the top three bits.
    EXPECT_EQ(decode<std::uint64_t>(bytes, 3, 64), (word >> 3) | (std::uint64_t{0xB5} << 61));
    EXPECT_EQ(decode<std::int64_t>(bytes, 3, 61),
              static_cast<std::int64_t>((word >> 3) | (std::uint64_t{7} << 61)))
        << "bit 60 of the field is set: sign-extended";
    EXPECT_EQ(decode<float>(Bytes{0x00, 0x00, 0xC0, 0x3F}, 0, 32), 1.5f);
    EXPECT_EQ(decode<double>(Bytes{0, 0, 0, 0, 0, 0, 0xF0, 0xBF}, 0, 64), -1.0);
}

TEST(DecodeField, BigEndianFieldsAreReversedFirst) {
    EXPECT_EQ(decode<std::uint16_t>(Bytes{0x12, 0x34}, 0, 16, true), 0x1234);
    EXPECT_EQ(decode<std::int16_t>(Bytes{0xFF, 0xFE}, 0, 16, true), -2);
    EXPECT_EQ(decode<std::uint16_t>(Bytes{0xAB, 0xCD}, 4, 12, true), 0xABC);
    EXPECT_EQ(decode<std::uint32_t>(Bytes{0x00, 0x12, 0x34, 0x56}, 0, 32, true), 0x123456u);

    const Bytes doubleBytes{0x40, 0x09, 0x21, 0xFB, 0x54, 0x44, 0x2D, 0x18};
    EXPECT_DOUBLE_EQ(decode<double>(doubleBytes, 0, 64, true), 3.141592653589793);
    // A big-endian field wider than the kind: its last bytes are the low ones.
    EXPECT_EQ(decode<std::uint8_t>(Bytes{0x12, 0x34, 0x56}, 0, 24, true), 0x56);

    // Fields that end at their buffer's last byte: a read beyond is a sanitizer error.
    EXPECT_EQ(decode<std::uint16_t>(Bytes{0x12, 0x34, 0x56}, 0, 24, true), 0x3456);
    EXPECT_EQ(decode<std::uint32_t>(Bytes{0x00, 0x00, 0xAB, 0xCD}, 0, 16, true, 2), 0xABCDu);

    EXPECT_TRUE(isBigEndian(1, 0) && isBigEndian(3, 2) && isBigEndian(5, 0) && isBigEndian(9, 0));
    EXPECT_FALSE(isBigEndian(0, 0) || isBigEndian(2, 0) || isBigEndian(4, 0) || isBigEndian(8, 0));
    EXPECT_FALSE(isBigEndian(1, kCnVariableLength)) << "VLSD offsets are little-endian";
}

// Packs `value` at `bitPosition` into a slot of 0x5A bytes and reads it back (at position 0
// through the plain loads of both sides), checking that no bit outside the field changed.
template <typename T>
void expectRoundTrip(T value, std::uint32_t bitPosition) {
    constexpr std::uint32_t kBits = sizeof(T) * 8;
    Bytes slot(sizeof(T) + 2, 0x5A);
    packBits(slot.data(), bitPosition, kBits, value);
    const T back = decodeField<T>(slot.data(), bitPosition / 8, bitPosition % 8, kBits, false);
    EXPECT_EQ(std::memcmp(&back, &value, sizeof(T)), 0) << bitPosition;
    for (std::uint32_t bit = 0; bit < 8 * slot.size(); ++bit) {
        if (bit >= bitPosition && bit < bitPosition + kBits) continue;
        EXPECT_EQ((slot[bit / 8] >> (bit % 8)) & 1, (0x5A >> (bit % 8)) & 1) << bit;
    }
}

TEST(PackBits, ValuesLandBesideTheirNeighbours) {
    // 0xABC as 12 bits at bit 4 of bytes that are all ones.
    Bytes slot{0xFF, 0xFF, 0xFF};
    packBits(slot.data(), 4, 12, std::uint16_t{0x0ABC});
    EXPECT_EQ(slot, (Bytes{0xCF, 0xAB, 0xFF}));
    Bytes zeros(3, 0);
    packBits(zeros.data(), 6, 3, std::int8_t{-1});
    EXPECT_EQ(zeros, (Bytes{0xC0, 0x01, 0x00}));
    packBits(zeros.data(), 17, 3, std::int8_t{2});
    EXPECT_EQ(zeros, (Bytes{0xC0, 0x01, 0x04}));
    Bytes wide(3, 0);
    packBits(wide.data(), 0, 12, std::int8_t{-2});
    EXPECT_EQ(wide, (Bytes{0xFE, 0x0F, 0x00})) << "a signed value fills a wider field with sign";

    for (std::uint32_t position : {0u, 1u, 5u, 8u, 15u}) {
        expectRoundTrip(std::int8_t{-100}, position);
        expectRoundTrip(std::uint8_t{0xA5}, position);
        expectRoundTrip(std::int16_t{-12345}, position);
        expectRoundTrip(std::uint16_t{0xBEEF}, position);
        expectRoundTrip(std::int32_t{-123456789}, position);
        expectRoundTrip(std::uint32_t{0xDEADBEEF}, position);
        expectRoundTrip(-1.25e-3f, position);
        expectRoundTrip(std::int64_t{-1234567890123456789}, position);
        expectRoundTrip(std::uint64_t{0xFEDCBA9876543210}, position);
        expectRoundTrip(std::numeric_limits<double>::denorm_min(), position);
    }
}

CaRecord array(std::vector<std::uint64_t> dims, bool columns) {
    CaRecord record;
    record.ca_ndim = static_cast<std::uint16_t>(dims.size());
    record.ca_dim_size = std::move(dims);
    record.ca_flags = columns ? kCaInverseLayout : 0;
    return record;
}

TEST(ElementOffset, RowAndColumnLayouts) {
    const std::int64_t s = 6;
    EXPECT_EQ(elementByteOffset(array({4}, false), 3, ~0ull, ~0ull, s), 3 * s);
    EXPECT_EQ(elementByteOffset(array({2, 3}, true), 1, 2, ~0ull, s), (2 * 2 + 1) * s);
    EXPECT_EQ(elementByteOffset(array({2, 3}, true), 1, 1, ~0ull, s), (1 * 2 + 1) * s);
    EXPECT_EQ(elementByteOffset(array({2, 3}, false), 1, 1, ~0ull, s), (1 * 3 + 1) * s);
    EXPECT_EQ(elementPosition(array({2, 3, 4}, false), 1, 0, 2), (1 * 3 + 0) * 4 + 2u);
    EXPECT_EQ(elementPosition(array({2, 3, 4}, true), 1, 0, 2), 1 + 0 * 2 + 2 * 2 * 3u);
    EXPECT_EQ(elementPosition(array({2, 3, 4}, true), 0, 2, 1), 0 + 2 * 2 + 1 * 2 * 3u);

    // A negative step counts from the last element back.
    EXPECT_EQ(elementByteOffset(array({4}, false), 0, ~0ull, ~0ull, -8), 24);
    EXPECT_EQ(elementByteOffset(array({4}, false), 3, ~0ull, ~0ull, -8), 0);
    EXPECT_EQ(elementByteOffset(array({2, 3}, false), 0, 1, ~0ull, -2), 10 - 2);
    EXPECT_EQ(elementByteOffset(array({2, 3, 4}, true), 1, 0, 2, -1), 23 - 13);
}

}  // namespace
}  // namespace tarvik
