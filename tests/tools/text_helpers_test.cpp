#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "one_line.h"
#include "time_text.h"
#include "xml_snippet.h"

namespace {

using namespace mf4tool;

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
