#include "findings/detail_format.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace tarvik {
namespace {

TEST(DetailFormat, EachConversionReadsItsArgumentAsTheFormatSays) {
    EXPECT_EQ(formatText(u"<%s>|%d|%d", {std::u16string_view(u"CN"), std::int32_t{-42}, std::int32_t{2147483647}}),
              u"<CN>|-42|2147483647");
    EXPECT_EQ(formatText(u"0x%I64X 0x%I64X", {std::uint64_t{0xABCDEF0123456789}, std::uint64_t{0}}),
              u"0xABCDEF0123456789 0x0");
    EXPECT_EQ(formatText(u"%I64d %I64d", {std::int64_t{INT64_MIN}, std::int64_t{1234567890123}}),
              u"-9223372036854775808 1234567890123");
    EXPECT_EQ(formatText(u"100%% sure %%s", {std::int32_t{1}}), u"100% sure %s");
    // Negative values in hexadecimal are two's complement; a 32-bit one is sign-extended first.
    EXPECT_EQ(formatText(u"%I64X %I64X %I64X", {std::int64_t{-1}, std::int32_t{-2}, std::int64_t{INT64_MIN}}),
              u"FFFFFFFFFFFFFFFF FFFFFFFFFFFFFFFE 8000000000000000");
    // Values of another kind are converted, texts count as 0; %d reads 32 bits, so a 64-bit
    // value keeps its low half.
    EXPECT_EQ(formatText(u"%s/%s %d %d", {std::int32_t{-7}, std::uint64_t{UINT64_MAX}, std::u16string_view(u"12"),
                                          std::int64_t{0x1FFFFFFFF}}),
              u"-7/18446744073709551615 0 -1");
    // A missing argument prints nothing; an unknown conversion consumes none and stays as text.
    EXPECT_EQ(formatText(u"a %s b %d c", {std::u16string_view(u"x")}), u"a x b  c");
    EXPECT_EQ(formatText(u"%x %I64 %I64u %s 50%", {std::u16string_view(u"y")}), u"%x %I64 %I64u y 50%");
}

TEST(DetailFormat, EachFindingNumberNamesItsFormat) {
    EXPECT_EQ(formatDetail(130, {std::int32_t{330}, std::int32_t{410}}), u"File Version: 330, Tool Version: 410.");
    EXPECT_EQ(formatDetail(104, {std::int32_t{3}, std::u16string_view(u"CG Block"), std::uint64_t{0x1A8},
                                 std::int64_t{6}, std::int64_t{4}}),
              u"3. CG Block at 0x1A8, Expected Link Count: 6, Actual Link Count: 4");
    EXPECT_EQ(formatDetail(143, {std::u16string_view(u"S")}),
              u"Mixing fixed axis type with standard or shared axis is not allowed for signal: S");
    // Path-only findings, name lists, the missing 140 and numbers outside the range have none.
    for (std::uint32_t number : {0u, 99u, 100u, 110u, 115u, 125u, 139u, 140u, 141u, 145u, 148u, 149u})
        EXPECT_TRUE(detailFormat(number).empty()) << number;
}

}  // namespace
}  // namespace tarvik
