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

TEST(ValueText, NumbersAreExactBytesHexAndStringsQuoted) {
    EXPECT_EQ(textOf<std::int8_t>(-128, 16), "-128");
    EXPECT_EQ(textOf<std::uint8_t>(255, 17), "255");
    EXPECT_EQ(textOf<std::int16_t>(-32768, 2), "-32768");
    EXPECT_EQ(textOf<std::uint32_t>(4'294'967'295u, 19), "4294967295");
    EXPECT_EQ(textOf(std::numeric_limits<std::int64_t>::min(), 20), "-9223372036854775808");
    EXPECT_EQ(textOf(std::numeric_limits<std::uint64_t>::max(), 21), "18446744073709551615");
    // Floats in the shortest form of their own width, not of the widened double.
    EXPECT_EQ(textOf(0.1f, 4), "0.1");
    EXPECT_EQ(textOf(0.06279051952931337, 5), "0.06279051952931337");
    EXPECT_EQ(textOf(1e300, 5), "1e+300");
    EXPECT_EQ(textOf(-0.0, 5), "-0");
    EXPECT_EQ(textOf(std::numeric_limits<double>::quiet_NaN(), 5), "nan");
    EXPECT_EQ(textOf(std::uint64_t{1}, 99), "?");

    const std::byte bytes[] = {std::byte{0x00}, std::byte{0xAB}, std::byte{0x1F}};
    EXPECT_EQ(hexText(bytes), "00ab1f");
    EXPECT_EQ(hexText({}), "");
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
    EXPECT_EQ(field(" spaced "), " spaced ");
    EXPECT_EQ(field("a,b"), "\"a,b\"");
    EXPECT_EQ(field("say \"x\""), "\"say \"\"x\"\"\"");
    EXPECT_EQ(field("line\nbreak"), "\"line\nbreak\"");
    EXPECT_EQ(field("cr\r"), "\"cr\r\"");
}

// The layout of a channel of `valueType` that `adjust` may change further, as "<bytes per
// record>[ array][ latin1]", or "none" for a channel the tool cannot size.
std::string layoutOf(std::uint32_t valueType, void (*adjust)(MF4Channel&) = [](MF4Channel&) {}) {
    MF4Channel channel{};
    channel.valueType = valueType;
    adjust(channel);
    const auto layout = channelLayout(channel);
    if (!layout) return "none";
    return std::to_string(layout->bytesPerRecord()) + (layout->isArray ? " array" : "") +
           (layout->latin1 ? " latin1" : "");
}

TEST(ValueLayout, SizesChannelsFromTheTree) {
    EXPECT_EQ(layoutOf(5), "8");
    EXPECT_EQ(layoutOf(7), "none");
    // u16 arrays of 2 x 3; an empty dimension cannot be laid out, nor one beyond any buffer.
    static constexpr auto array = [](MF4Channel& c) { c.dimensionCount = 2; c.dimensionSizes[0] = 2; };
    EXPECT_EQ(layoutOf(18, [](MF4Channel& c) { array(c); c.dimensionSizes[1] = 3; }), "12 array");
    EXPECT_EQ(layoutOf(18, array), "none");
    EXPECT_EQ(layoutOf(18, [](MF4Channel& c) { array(c); c.dimensionSizes[1] = 1ull << 40; }), "none");
    EXPECT_EQ(layoutOf(36, [](MF4Channel& c) { c.bitCount = 20; }), "3");
    EXPECT_EQ(layoutOf(36, [](MF4Channel& c) { c.bitCount = 20; c.channelType = 1; }), "none");  // variable length
    EXPECT_EQ(layoutOf(30, [](MF4Channel& c) { c.stringEncoding = 1; }), std::to_string(sizeof(void*)) + " latin1");

    MF4ChannelGroup group{};
    EXPECT_FALSE(masterLayout(group));
    group.masterValueType = 20;
    EXPECT_EQ(masterLayout(group).value_or(ValueLayout{}).bytesPerRecord(), 8u);
}

TEST(TablePrinter, ColumnsGrowWithTheWidestCellSoFar) {
    std::ostringstream out;
    TablePrinter table(out);
    table.addRow({"\xC3\xA4x", "time"});  // two characters, three bytes
    table.addRow({"1", "0.5"});
    table.flush();
    table.addRow({"10.25", "2"});
    table.flush();
    table.addRow({"3", "4"});
    table.flush();
    EXPECT_EQ(out.str(), "\xC3\xA4x  time\n1   0.5\n10.25  2\n3      4\n");
}

}  // namespace
