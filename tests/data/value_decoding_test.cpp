// Field extraction and the bit packer, checked bit by bit against a model over many generated
// fields and on patterns worked out by hand; byte order and array element offsets. Fields are
// read from heap buffers of exactly their size, so the sanitizer build catches overreads.
#include "data/value_decoding.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <random>
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

template <typename T>
BitPatternOf<T> bitsOf(T value) {
    return std::bit_cast<BitPatternOf<T>>(value);
}

// The model: the field taken from the record one bit at a time, after reversing its bytes when
// it is big-endian. Bits beyond T's width are dropped; a narrower signed integer is extended.
template <typename T>
BitPatternOf<T> fieldBits(const Bytes& record, std::uint32_t byteOffset, std::uint32_t bitOffset,
                          std::uint32_t bitCount, bool bigEndian) {
    Bytes field(record.begin() + byteOffset, record.end());  // the field ends with the record
    if (bigEndian) std::reverse(field.begin(), field.end());
    const std::uint32_t kept = std::min<std::uint32_t>(bitCount, sizeof(T) * 8);
    std::uint64_t pattern = 0;
    for (std::uint32_t i = 0; i < kept; ++i)
        pattern |= std::uint64_t{(field[(bitOffset + i) / 8] >> ((bitOffset + i) % 8)) & 1u} << i;
    if (std::is_integral_v<T> && std::is_signed_v<T> && kept > 0 && kept < 64 &&
        (pattern >> (kept - 1)) & 1)
        pattern |= ~std::uint64_t{0} << kept;
    return static_cast<BitPatternOf<T>>(pattern);
}

// Calls `check` with a value of each of the ten numeric kinds.
void forEachKind(auto&& check) {
    check(std::int8_t{}), check(std::uint8_t{}), check(std::int16_t{}), check(std::uint16_t{});
    check(std::int32_t{}), check(std::uint32_t{}), check(float{}), check(double{});
    check(std::int64_t{}), check(std::uint64_t{});
}

TEST(DecodeField, EveryKindGivesTheFieldsBitsOneByOne) {
    std::mt19937_64 random(20240611);
    forEachKind([&](auto kind) {
        using T = decltype(kind);
        for (int run = 0; run < 3000; ++run) {
            const bool bigEndian = run % 2 == 1;
            const auto byteOffset = static_cast<std::uint32_t>(random() % 3);
            const auto bitOffset = static_cast<std::uint32_t>(random() % (bigEndian ? 8 : 16));
            // Mostly T's width and a few bits around it; sometimes anything up to 64.
            const auto bitCount = static_cast<std::uint32_t>(
                run % 4 == 0 ? 1 + random() % 64 : sizeof(T) * 8 + random() % 9 - 4);
            Bytes record(byteOffset + (bitOffset + bitCount + 7) / 8);
            for (std::uint8_t& byte : record) byte = static_cast<std::uint8_t>(random());
            ASSERT_EQ(bitsOf(decode<T>(record, bitOffset, bitCount, bigEndian, byteOffset)),
                      fieldBits<T>(record, byteOffset, bitOffset, bitCount, bigEndian))
                << sizeof(T) << " bytes, " << (bigEndian ? "big-endian " : "") << bitCount
                << " bits at " << byteOffset << ':' << bitOffset;
        }
    });
}

TEST(DecodeField, WorkedExamples) {
    // 12 bits at bit offset 4 holding 0x800; the low nibble belongs to another field.
    EXPECT_EQ(decode<std::int16_t>(Bytes{0x0F, 0x80}, 4, 12), -2048);
    EXPECT_EQ(decode<std::uint16_t>(Bytes{0x0F, 0x80}, 4, 12), 0x800) << "no sign extension";
    EXPECT_EQ(decode<std::uint32_t>(Bytes{0x11, 0x22, 0x33}, 0, 0), 0u) << "no bits, no value";
    // Wider than the kind: its low bits, without sign extension from the field's top bit.
    EXPECT_EQ(decode<std::int8_t>(Bytes{0x7F, 0x08}, 0, 12), 0x7F);
    const Bytes pi{0x40, 0x09, 0x21, 0xFB, 0x54, 0x44, 0x2D, 0x18};
    EXPECT_DOUBLE_EQ(decode<double>(pi, 0, 64, true), 3.141592653589793);

    EXPECT_TRUE(isBigEndian(1, 0) && isBigEndian(3, 2) && isBigEndian(5, 0) && isBigEndian(9, 0));
    EXPECT_FALSE(isBigEndian(0, 0) || isBigEndian(2, 0) || isBigEndian(4, 0) || isBigEndian(8, 0));
    EXPECT_FALSE(isBigEndian(1, kCnVariableLength)) << "VLSD offsets are little-endian";
}

// Encoding is decoding's inverse: the field's bits, little- or big-endian, take the value's low
// bits (a signed value's sign beyond its width), every other bit of the record keeps its value,
// and a field of the kind's width decodes to the value again.
TEST(EncodeField, ValuesLandBesideTheirNeighbours) {
    Bytes ones{0xFF, 0xFF, 0xFF};
    encodeField<std::uint16_t>(ones.data(), 0, 4, 12, false, 0x0ABC);
    EXPECT_EQ(ones, (Bytes{0xCF, 0xAB, 0xFF}));
    std::mt19937_64 random(20240612);
    forEachKind([&](auto kind) {
        using T = decltype(kind);
        constexpr std::uint32_t kBits = sizeof(T) * 8;
        for (int run = 0; run < 3000; ++run) {
            const bool bigEndian = run % 2 == 1;
            const auto byteOffset = static_cast<std::uint32_t>(random() % 3);
            const auto bitOffset = static_cast<std::uint32_t>(random() % (bigEndian ? 8 : 16));
            const auto bitCount = static_cast<std::uint32_t>(run % 3 == 0 ? kBits : 1 + random() % 64);
            const auto pattern = static_cast<BitPatternOf<T>>(random());
            const T value = std::bit_cast<T>(pattern);
            const std::uint64_t wide = std::is_integral_v<T> && std::is_signed_v<T>
                ? static_cast<std::uint64_t>(static_cast<std::int64_t>(value)) : pattern;
            // Bit i of the field lies at bit (bitOffset + i) of its bytes, counted from the least
            // significant byte: the first byte of a little-endian field, the last of a big-endian one.
            const std::uint32_t fieldBytes = (bitOffset + bitCount + 7) / 8;
            Bytes record(byteOffset + fieldBytes + 1);
            for (std::uint8_t& byte : record) byte = static_cast<std::uint8_t>(random());
            Bytes expected = record;
            for (std::uint32_t i = 0, at = bitOffset; i < bitCount; ++i, ++at) {
                std::uint8_t& byte = expected[byteOffset + (bigEndian ? fieldBytes - 1 - at / 8 : at / 8)];
                byte = static_cast<std::uint8_t>((byte & ~(1u << at % 8)) | ((wide >> i) & 1) << at % 8);
            }
            encodeField<T>(record.data(), byteOffset, bitOffset, bitCount, bigEndian, value);
            ASSERT_EQ(record, expected) << sizeof(T) << " bytes, " << (bigEndian ? "big-endian " : "") << bitCount
                                        << " bits at " << byteOffset << ':' << bitOffset;
            if (bitCount == kBits) {
                ASSERT_EQ(bitsOf(decode<T>(record, bitOffset, kBits, bigEndian, byteOffset)), pattern);
            }
        }
    });
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

    // elementAt walks storage order: for every shape up to 4 x 4 x 4, in both layouts, each
    // position maps to indices inside the dimensions whose position is that position again.
    for (const std::vector<std::uint64_t>& dims :
         {std::vector<std::uint64_t>{5}, {3, 4}, {4, 1}, {2, 3, 4}, {4, 4, 1}, {1, 2, 3}})
        for (bool columns : {false, true}) {
            const CaRecord shape = array(dims, columns);
            std::uint64_t count = 1;
            for (std::uint64_t d : dims) count *= d;
            for (std::uint64_t p = 0; p < count; ++p) {
                const ElementIndices at = elementAt(shape, p);
                const std::uint64_t indices[3] = {at.i, at.j, at.k};
                for (std::size_t d = 0; d < dims.size(); ++d) ASSERT_LT(indices[d], dims[d]) << p;
                ASSERT_EQ(elementPosition(shape, at.i, at.j, at.k), p) << dims.size() << " dims, position " << p;
            }
        }
}

}  // namespace
}  // namespace tarvik
