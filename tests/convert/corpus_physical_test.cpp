// Physical values of the first and last records of the corpus files that carry conversions:
// raw values read with ReadData, converted with TarvikMF4Convert, against values worked out by
// hand from the conversion parameters the files hold (`mf4 info` lists them) and the raw values
// of tests/interface/corpus_values.inc, which a separate script decoded from the files' bytes.
#include <cmath>
#include <string>
#include <variant>

#include <gtest/gtest.h>

#include "convert/conversion_tree.h"
#include "support/read_items.h"

namespace {

using tarvik::test::OpenedFile;

// A physical value: a number, or a text of a text conversion.
using Physical = std::variant<double, std::u16string>;

struct Expected {
    const char* file;
    std::uint64_t group;
    const char* channel;
    Physical first;
    Physical last;
};

// How each was worked out: raw first and last value, the conversion, the result.
const Expected kExpected[] = {
    // raw 0 and 9, linear p0 -4.8, p1 -3.2: -4.8 and -4.8 - 28.8
    {"Vector_LinearConversion.mf4", 0, "Data channel", -4.8, -33.6},
    // raw 0 and 9 (f64), value to text of 1..5 ("first gear" ...): neither is a key, default
    {"Vector_Value2TextConversion.mf4", 0, "Data channel", u"No match", u"No match"},
    // raw 0 and 9 (f64), ranges [1,3) [3,5) [5,7) [7,9) [9,11): 0 in none, 9 opens the last
    {"Vector_ValueRange2TextConversion.mf4", 0, "Data channel", u"Out of range", u"very high"},
    // raw 25 and 155, rational (0 X^2 + 1 X + 4) / (0 + 0 + 1): X + 4
    {"TGT_ASAP2_Demo_V171.mf4", 1, "ASAM.M.SCALAR.UBYTE.FORM_X_PLUS_4", 29.0, 159.0},
    // raw 44 and 28, rational (0 + 0 - 1) / (0 - X + 0): 1 / X
    {"TGT_ASAP2_Demo_V171.mf4", 2, "ASAM.M.SCALAR.UBYTE.HYPERBOLIC", 1.0 / 44, 1.0 / 28},
    // raw 100 and 84, interpolated table with keys -3 .. 13: above the last key (13 -> 111)
    {"TGT_ASAP2_Demo_V171.mf4", 2, "ASAM.M.SCALAR.UBYTE.TAB_INTP_DEFAULT_VALUE", 111.0, 111.0},
    // raw 244 and 228, the same keys without interpolation
    {"TGT_ASAP2_Demo_V171.mf4", 2, "ASAM.M.SCALAR.UBYTE.TAB_NOINTP_DEFAULT_VALUE", 111.0, 111.0},
    // raw 100 and 84, value to text of 1, 2, 3: the default text
    {"TGT_ASAP2_Demo_V171.mf4", 2, "ASAM.M.SCALAR.UBYTE.TAB_VERB_DEFAULT_VALUE", u"unknown signal type",
     u"unknown signal type"},
    // raw 1 and 1 (i64), linear p0 -0.5, p1 2
    {"asammdf_demo_arrays_vlsd.mf4", 0, "Channel_linear_conversion", 1.5, 1.5},
    // raw 0 and 0.99, formula 2 * sin(X)
    {"asammdf_demo_arrays_vlsd.mf4", 0, "Channel_algebraic", 0.0, 2 * std::sin(0.99)},
    // raw 1 and 1, rational (0 X^2 + 4 X - 0.5) / (0 + 0 + 1)
    {"asammdf_demo_arrays_vlsd.mf4", 0, "Channel_rational_conversion", 3.5, 3.5},
    // raw 0 and 19 (u32), table without interpolation k -> -k for k = 0 .. 19: both keys hit
    {"asammdf_demo_arrays_vlsd.mf4", 0, "Channel_tabular", 0.0, -19.0},
    // raw 0 and 9, value to text k -> "key_k"
    {"asammdf_demo_arrays_vlsd.mf4", 0, "Channel_value_to_text", u"key_0", u"key_9"},
    // raw 0 and 114 (u64), ranges [10 k, 10 k + 10] -> "Level k", first match: 114 in [110, 120]
    {"asammdf_demo_arrays_vlsd.mf4", 0, "Channel_value_range_to_text", u"Level 0", u"Level 11"},
    // raw 0 and 198, value range to value, which the tree reports as unsupported: raw values
    {"asammdf_demo_arrays_vlsd.mf4", 0, "Channel_value_range_to_value", 0.0, 198.0},
};

// The physical value of channel `index` in `record`.
Physical physicalAt(OpenedFile& file, std::uint64_t index, std::uint64_t record, std::uint32_t& result) {
    const MF4Content& content = *file.content();
    const MF4Channel& channel = content.channels[index];
    tarvik::test::Buffer<std::uint64_t> value(1);  // 8 bytes hold every numeric kind
    tarvik::test::Buffer<std::uint64_t> group(1);
    file.read(MF4_READ_SAMPLE_BASED, {value.bind({.index = index, .firstSample = record, .sampleCount = 1, .capacity = 1})},
              {group.bind({.index = channel.groupIndex, .firstSample = record, .sampleCount = 1})});
    EXPECT_EQ(value.stored, 1u);
    std::uint32_t yields = 0;
    MF4ConversionYields(&content, channel.conversion, &yields);
    if (yields == MF4_YIELDS_TEXTS) {
        const auto texts = tarvik::test::convertTexts(&content, channel.conversion, channel.valueType, value.values.data(), 1);
        result = texts.result;
        return texts.values.at(0);
    }
    double number = 0;
    result = MF4ConvertNumbers(&content, channel.conversion, channel.valueType, value.values.data(), 1, &number);
    return number;
}

void expectPhysical(const Physical& got, const Physical& expected, const std::string& what) {
    if (std::holds_alternative<double>(expected) && std::holds_alternative<double>(got))
        EXPECT_DOUBLE_EQ(std::get<double>(got), std::get<double>(expected)) << what;
    else
        EXPECT_TRUE(got == expected) << what;
}

TEST(CorpusPhysicalValues, FirstAndLastRecordsOfFilesWithConversions) {
    const auto corpus = tarvik::test::corpusDir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus beside the project";
    for (const Expected& e : kExpected) {
        OpenedFile file(corpus / e.file);
        ASSERT_NE(file.content(), nullptr) << e.file;
        const MF4Content& content = *file.content();
        const std::uint64_t index = tarvik::test::channelNamed(content, e.group, e.channel);
        ASSERT_LT(index, content.channelCount) << e.file << " " << e.channel;
        const bool unsupported = content.conversions[content.channels[index].conversion].conversionType == 9;
        const std::uint64_t records = content.groups[e.group].cycleCount;
        std::uint32_t result = 0;
        expectPhysical(physicalAt(file, index, 0, result), e.first, std::string(e.channel) + " first");
        EXPECT_EQ(result, unsupported ? MF4_CONVERT_UNSUPPORTED : MF4_CONVERT_OK) << e.channel;
        expectPhysical(physicalAt(file, index, records - 1, result), e.last, std::string(e.channel) + " last");
    }
}

}  // namespace
