#include "findings/detail_format.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace tarvik {
namespace {

TEST(DetailFormat, EachConversionPrintsItsValue) {
    EXPECT_EQ(formatText(u"<%s>", {std::u16string_view(u"CN")}), u"<CN>");
    EXPECT_EQ(formatText(u"%d|%d", {std::int32_t{-42}, std::int32_t{2147483647}}),
              u"-42|2147483647");
    EXPECT_EQ(formatText(u"0x%I64X", {std::uint64_t{0xABCDEF0123456789}}), u"0xABCDEF0123456789");
    EXPECT_EQ(formatText(u"0x%I64X", {std::uint64_t{0}}), u"0x0");
    EXPECT_EQ(formatText(u"%I64d", {std::int64_t{INT64_MIN}}), u"-9223372036854775808");
    EXPECT_EQ(formatText(u"%I64d", {std::int64_t{1234567890123}}), u"1234567890123");
    EXPECT_EQ(formatText(u"100%% sure %%s", {std::int32_t{1}}), u"100% sure %s");
}

TEST(DetailFormat, NegativeValuesInHexadecimalAreTwosComplement) {
    EXPECT_EQ(formatText(u"%I64X", {std::int64_t{-1}}), u"FFFFFFFFFFFFFFFF");
    EXPECT_EQ(formatText(u"%I64X", {std::int32_t{-2}}), u"FFFFFFFFFFFFFFFE");
    EXPECT_EQ(formatText(u"%I64X", {std::int64_t{INT64_MIN}}), u"8000000000000000");
}

TEST(DetailFormat, ValuesOfAnotherKindAreConvertedAndWideValuesTruncatedForD) {
    EXPECT_EQ(formatText(u"%s/%s", {std::int32_t{-7}, std::uint64_t{UINT64_MAX}}),
              u"-7/18446744073709551615");
    EXPECT_EQ(formatText(u"%d", {std::u16string_view(u"12")}), u"0");
    // %d reads 32 bits: a 64-bit value keeps its low half.
    EXPECT_EQ(formatText(u"%d", {std::int64_t{0x1FFFFFFFF}}), u"-1");
}

TEST(DetailFormat, MissingArgumentsAndUnknownConversionsAreHarmless) {
    EXPECT_EQ(formatText(u"a %s b %d c", {std::u16string_view(u"x")}), u"a x b  c");
    EXPECT_EQ(formatText(u"%d", {}), u"");
    // An unknown conversion consumes no argument and stays in the text.
    EXPECT_EQ(formatText(u"%x %I64 %I64u %s", {std::u16string_view(u"y")}),
              u"%x %I64 %I64u y");
    EXPECT_EQ(formatText(u"50%", {std::int32_t{1}}), u"50%");
    EXPECT_EQ(formatText(u"", {std::int32_t{1}}), u"");
}

TEST(DetailFormat, TableHoldsTheFormatOfEachNumber) {
    EXPECT_EQ(formatDetail(130, {std::int32_t{330}, std::int32_t{410}}),
              u"File Version: 330, Tool Version: 410.");
    EXPECT_EQ(formatDetail(104, {std::int32_t{3}, std::u16string_view(u"CG Block"),
                                 std::uint64_t{0x1A8}, std::int64_t{6}, std::int64_t{4}}),
              u"3. CG Block at 0x1A8, Expected Link Count: 6, Actual Link Count: 4");
    EXPECT_EQ(detailFormat(105), detailFormat(104));
    EXPECT_EQ(detailFormat(107), u"%d. %s at 0x%I64X, Expected Size: %I64d, Actual Size: %I64d");
    EXPECT_EQ(detailFormat(112), u"%s at 0x%I64X, Field: %s 0x%I64X");
    EXPECT_EQ(detailFormat(133), u"Attachment Index: %d");
    EXPECT_EQ(detailFormat(147), u"ATBlock at 0x%I64X, File Path: %s");
    EXPECT_EQ(detailFormat(138), detailFormat(135));
    EXPECT_EQ(formatDetail(143, {std::u16string_view(u"Speed")}),
              u"Mixing fixed axis type with standard or shared axis is not allowed for signal: "
              u"Speed");
    // Path-only findings, name lists, the missing 140 and numbers outside the range.
    for (std::uint32_t number : {0u, 99u, 100u, 110u, 115u, 125u, 139u, 140u, 145u, 148u, 149u})
        EXPECT_TRUE(detailFormat(number).empty()) << number;
    EXPECT_EQ(formatDetail(141, {std::u16string_view(u"x")}), u"");
}

}  // namespace
}  // namespace tarvik
