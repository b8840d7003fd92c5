// The mf4 tool's text output: numbers, texts and bytes as the tables and CSV files show them,
// channel layouts, the table printer, JSON, findings on one line each, and the small text
// helpers (one-line texts, time stamps, element texts of XML comments).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "csv_text.h"
#include "findings_printer.h"
#include "json_writer.h"
#include "one_line.h"
#include "table_printer.h"
#include "time_text.h"
#include "value_layout.h"
#include "value_text.h"
#include "xml_snippet.h"

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

TEST(JsonWriter, PlacesCommasAndIndentationAndEscapesKeysAndTexts) {
    std::ostringstream out;
    JsonWriter writer(out);
    writer.beginObject();
    writer.key("a\"b");
    writer.number(1);
    writer.key("list");
    writer.beginArray();
    writer.number(2u);
    writer.text("q\"b\\n\nt\tc\x01\x1f r\r f\f b\b \xC3\xA4\xE2\x82\xAC");  // UTF-8 stays as it is
    writer.null();
    writer.boolean(true);
    writer.beginObject();
    writer.endObject();
    writer.endArray();
    writer.key("empty");
    writer.beginArray();
    writer.endArray();
    writer.endObject();
    writer.finish();
    EXPECT_EQ(out.str(),
              "{\n"
              "  \"a\\\"b\": 1,\n"
              "  \"list\": [\n"
              "    2,\n"
              "    \"q\\\"b\\\\n\\nt\\tc\\u0001\\u001f r\\r f\\f b\\b \xC3\xA4\xE2\x82\xAC\",\n"
              "    null,\n"
              "    true,\n"
              "    {}\n"
              "  ],\n"
              "  \"empty\": []\n"
              "}\n");
}

std::string written(auto value) {
    std::ostringstream out;
    JsonWriter writer(out);
    writer.number(value);
    return out.str();
}

TEST(JsonWriter, WritesNumbersExactlyAndNonFiniteAsNull) {
    EXPECT_EQ(written(0.1), "0.1");
    EXPECT_EQ(written(-0.0), "-0");
    EXPECT_EQ(written(1e300), "1e+300");
    EXPECT_EQ(written(std::numeric_limits<double>::quiet_NaN()), "null");
    EXPECT_EQ(written(-std::numeric_limits<double>::infinity()), "null");
    // The shortest form still reads back to the very same double.
    const double awkward = 0.1 + 0.2;
    EXPECT_EQ(std::strtod(written(awkward).c_str(), nullptr), awkward);
    // Indices of -1 stay -1, full 64-bit values survive, and bytes are numbers, not characters.
    EXPECT_EQ(written(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
    EXPECT_EQ(written(std::numeric_limits<std::uint64_t>::max()), "18446744073709551615");
    EXPECT_EQ(written(std::int16_t{-1}), "-1");
    EXPECT_EQ(written(std::uint8_t{200}), "200");
}

MF4Error finding(std::uint32_t id, std::uint32_t severity, const char16_t* message,
                 const char16_t* detail1 = nullptr, const char16_t* detail2 = nullptr) {
    MF4Error error{};
    error.messageId = id;
    error.severity = severity;
    // The record holds non-const pointers for the host to release; these are never released.
    error.message = const_cast<char16_t*>(message);
    error.detail1 = const_cast<char16_t*>(detail1);
    error.detail2 = const_cast<char16_t*>(detail2);
    return error;
}

TEST(FindingsPrinter, PrintsEachFindingOnOneLine) {
    EXPECT_EQ(findingLine(finding(141, 0, u"The file /a\nb.mf4 does not exist.")),
              "error 141: The file /a b.mf4 does not exist.");
    // Without the message file the details stand in for the message.
    EXPECT_EQ(findingLine(finding(119, 1, nullptr, u"x.mf4", u"CC block\tat 0x40")),
              "warning 119: x.mf4 (CC block at 0x40)");
    EXPECT_EQ(findingLine(finding(141, 0, nullptr, u"\u00e4.mf4")), "error 141: \xC3\xA4.mf4");

    const std::vector<MF4Error> findings{finding(141, 0, u"one\ntwo"), finding(124, 1, u"three")};
    std::ostringstream out;
    printFindings(out, findings, "  ");
    EXPECT_EQ(out.str(), "  error 141: one two\n  warning 124: three\n");
}

TEST(FindingsPrinter, CountsErrorsAndWarnings) {
    const std::vector<MF4Error> findings{finding(103, 0, u"a"), finding(124, 1, u"b"),
                                         finding(110, 1, u"c")};
    const FindingCounts counts = countFindings(findings);
    EXPECT_EQ(counts.errors, 1u);
    EXPECT_EQ(counts.warnings, 2u);
    EXPECT_EQ(summaryText(counts), "1 error, 2 warnings");
    EXPECT_EQ(summaryText(countFindings({})), "0 errors, 0 warnings");
}

TEST(OneLine, FlattensBreaksKeepsInnerSpacesAndShortensOnCharacterBoundaries) {
    EXPECT_EQ(flattened("a\r\nb\tc\x01" "d"), "a b c d");
    EXPECT_EQ(flattened("identifier \"MDF     \""), "identifier \"MDF     \"");
    EXPECT_EQ(flattened("\n  text \n"), "text");
    EXPECT_EQ(flattened("\n\r\t"), "");

    const std::string umlauts = "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F";  // four two-byte characters
    EXPECT_EQ(shortened(umlauts, 2), "\xC3\xA4\xC3\xB6...");
    EXPECT_EQ(shortened(umlauts, 4), umlauts);
    EXPECT_EQ(shortened("word and more", 5), "word...");
    EXPECT_EQ(shortened("line one\nline two", 100), "line one line two");
    EXPECT_EQ(shortened("abc", 0), "...");
}

TEST(TimeText, FormatsNanosecondsSince1970) {
    EXPECT_EQ(isoDateTime(0), "1970-01-01T00:00:00.000000000");
    EXPECT_EQ(isoDateTime(1'764'950'400'000'000'000u), "2025-12-05T16:00:00.000000000");
    EXPECT_EQ(isoDateTime(1'709'210'096'000'000'789u), "2024-02-29T12:34:56.000000789");
    EXPECT_EQ(isoDateTime(UINT64_MAX), "2554-07-21T23:34:33.709551615");

    EXPECT_EQ(utcOffsetText(0), "+00:00");
    EXPECT_EQ(timeStampText(0, 2, 0, 0), "1970-01-01T00:00:00.000000000Z (UTC)");
    EXPECT_EQ(timeStampText(0, 1, -90, 60),
              "1970-01-01T00:00:00.000000000Z (UTC; zone -01:30, daylight saving +01:00)");
    EXPECT_EQ(timeStampText(0, 3, 0, 0), "1970-01-01T00:00:00.000000000 (local time)");
    EXPECT_EQ(timeStampText(0, 7, 0, 0), "1970-01-01T00:00:00.000000000 (time kind 7)");
}

TEST(XmlSnippet, FindsElementTextAndResolvesReferences) {
    const std::string history =
        "<FHcomment xmlns=\"http://www.asam.net/mdf/v4\"><TX>made &lt;here&gt; &amp; &#x41;&#66;"
        "</TX><tool_id>Tool</tool_id></FHcomment>";
    EXPECT_EQ(elementText(history, "TX"), "made <here> & AB");
    EXPECT_EQ(elementText(history, "tool_id"), "Tool");
    EXPECT_EQ(elementText(history, "tool_vendor"), "");

    // Attributes on the start tag, similar names, empty elements, CDATA and stray ampersands.
    EXPECT_EQ(elementText("<TXT>no</TXT><TX xml:space=\"preserve\"> yes </TX>", "TX"), " yes ");
    EXPECT_EQ(elementText("<TX/><TX>later</TX>", "TX"), "");
    EXPECT_EQ(elementText("<TX><![CDATA[a <b> &amp;]]></TX>", "TX"), "a <b> &amp;");
    EXPECT_EQ(elementText("<TX>R&D; &unknown; &#xZZ;</TX>", "TX"), "R&D; &unknown; &#xZZ;");
    EXPECT_EQ(elementText("<TX>unterminated", "TX"), "");
    EXPECT_EQ(elementText("<TX", "TX"), "");
}

}  // namespace
