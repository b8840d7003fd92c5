#include <cstdint>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "csv_text.h"
#include "table_printer.h"
#include "value_layout.h"
#include "value_text.h"

namespace {

using namespace mf4tool;

template <typename T>
std::string textOf(T value, std::uint32_t valueType) {
    std::byte stored[sizeof(T)];
    std::memcpy(stored, &value, sizeof(T));
    return numberText(stored, valueType);
}

TEST(ValueText, NumbersAreExact) {
    EXPECT_EQ(textOf<std::int8_t>(-128, 16), "-128");
    EXPECT_EQ(textOf<std::uint8_t>(255, 17), "255");
    EXPECT_EQ(textOf<std::int16_t>(-32768, 2), "-32768");
    EXPECT_EQ(textOf<std::uint32_t>(4'294'967'295u, 19), "4294967295");
    EXPECT_EQ(textOf(std::numeric_limits<std::int64_t>::min(), 20), "-9223372036854775808");
    EXPECT_EQ(textOf(std::numeric_limits<std::uint64_t>::max(), 21), "18446744073709551615");
    // Floats in the shortest form of their own width, not of the widened double.
    EXPECT_EQ(textOf(0.1f, 4), "0.1");
    EXPECT_EQ(textOf(0.1, 5), "0.1");
    EXPECT_EQ(textOf(0.06279051952931337, 5), "0.06279051952931337");
    EXPECT_EQ(textOf(1e300, 5), "1e+300");
    EXPECT_EQ(textOf(-0.0, 5), "-0");
    EXPECT_EQ(textOf(std::numeric_limits<double>::quiet_NaN(), 5), "nan");
    EXPECT_EQ(textOf(std::uint64_t{1}, 99), "?");
}

TEST(ValueText, BytesAndQuotedStrings) {
    const std::vector<std::byte> bytes{std::byte{0x00}, std::byte{0xAB}, std::byte{0x1F}};
    EXPECT_EQ(hexText(bytes), "00ab1f");
    EXPECT_EQ(hexText({}), "");
    EXPECT_EQ(quotedText("plain"), "\"plain\"");
    EXPECT_EQ(quotedText("say \"hi\"\\ \n\t\x01"), "\"say \\\"hi\\\"\\\\ \\n\\t\\x01\"");
    EXPECT_EQ(quotedText("\xC3\xA4"), "\"\xC3\xA4\"");  // UTF-8 passes through
}

TEST(CsvText, QuotesOnlyWhatNeedsIt) {
    auto field = [](const std::string& text) {
        std::string line;
        appendCsvField(line, text);
        return line;
    };
    EXPECT_EQ(field("1.5"), "1.5");
    EXPECT_EQ(field(""), "");
    EXPECT_EQ(field("a,b"), "\"a,b\"");
    EXPECT_EQ(field("say \"x\""), "\"say \"\"x\"\"\"");
    EXPECT_EQ(field("line\nbreak"), "\"line\nbreak\"");
    EXPECT_EQ(field("cr\r"), "\"cr\r\"");
    EXPECT_EQ(field(" spaced "), " spaced ");
}

TEST(ValueLayout, SizesChannelsFromTheTree) {
    MF4Channel channel{};
    channel.valueType = 5;
    auto layout = channelLayout(channel);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->bytesPerRecord(), 8u);
    EXPECT_FALSE(layout->isArray);

    channel.valueType = 18;  // u16 array 2 x 3
    channel.dimensionCount = 2;
    channel.dimensionSizes[0] = 2;
    channel.dimensionSizes[1] = 3;
    layout = channelLayout(channel);
    ASSERT_TRUE(layout);
    EXPECT_TRUE(layout->isArray);
    EXPECT_EQ(layout->elementsPerRecord, 6u);
    EXPECT_EQ(layout->bytesPerRecord(), 12u);

    channel.dimensionSizes[1] = 0;  // an empty dimension cannot be laid out
    EXPECT_FALSE(channelLayout(channel));
    channel.dimensionSizes[1] = std::uint64_t{1} << 40;  // nor one beyond any buffer
    EXPECT_FALSE(channelLayout(channel));

    MF4Channel bytes{};
    bytes.valueType = 36;
    bytes.bitCount = 20;
    layout = channelLayout(bytes);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->bytesPerRecord(), 3u);
    bytes.channelType = 1;  // variable length: no size per record
    EXPECT_FALSE(channelLayout(bytes));

    MF4Channel text{};
    text.valueType = 30;
    text.stringEncoding = 1;
    layout = channelLayout(text);
    ASSERT_TRUE(layout);
    EXPECT_TRUE(layout->latin1);
    EXPECT_EQ(layout->bytesPerRecord(), sizeof(void*));

    MF4Channel unknown{};
    unknown.valueType = 7;
    EXPECT_FALSE(channelLayout(unknown));

    MF4ChannelGroup group{};
    EXPECT_FALSE(masterLayout(group));
    group.masterValueType = 20;
    ASSERT_TRUE(masterLayout(group));
    EXPECT_EQ(masterLayout(group)->bytesPerRecord(), 8u);
}

TEST(TablePrinter, ColumnsGrowWithTheWidestCellSoFar) {
    std::ostringstream out;
    TablePrinter table(out);
    table.addRow({"time", "\xC3\xA4x"});  // two characters, three bytes
    table.addRow({"0.5", "1"});
    table.flush();
    table.addRow({"10.25", "2"});
    table.flush();
    EXPECT_EQ(out.str(), "time  \xC3\xA4x\n0.5   1\n10.25  2\n");
}

}  // namespace
