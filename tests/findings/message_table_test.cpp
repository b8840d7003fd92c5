#include "findings/message_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "findings/detail_format.h"
#include "support/temp_dir.h"

namespace tarvik {
namespace {

using test::TempDir;
using test::widePath;

std::u16string textOf(const MessageTable& table, std::int32_t id) {
    const auto text = table.text(id);
    return text ? std::u16string(*text) : u"<none>";
}

TEST(SubstituteDetails, ReplacesFirstPlaceholdersOfTheOriginalTextOnly) {
    const std::optional<std::u16string> path = u"/data/run.mf4";
    const std::optional<std::u16string> none;
    EXPECT_EQ(substituteDetails(u"File %1: %2", path, none), u"File /data/run.mf4: %2");
    EXPECT_EQ(substituteDetails(u"File %1: %2", none, u"CG"), u"File %1: CG");
    EXPECT_EQ(substituteDetails(u"%2 in %1", path, u"CG"), u"CG in /data/run.mf4");
    EXPECT_EQ(substituteDetails(u"%1 %1 %2 %2", u"a", u"b"), u"a %1 b %2");
    // A detail that itself contains a placeholder is copied as it is.
    EXPECT_EQ(substituteDetails(u"%1 then %2", u"x%2y", u"z%1"), u"x%2y then z%1");
    EXPECT_EQ(substituteDetails(u"no placeholders", path, u"CG"), u"no placeholders");
    EXPECT_EQ(substituteDetails(u"%1%2", u"", u""), u"");
}

// Messages count wherever they stand, their first MessageText wins, and so does the later of two
// messages with one ID. IDs read like the C runtime's text-to-integer conversion: blanks, a sign,
// the leading digits, 0 for none, clamped to 32 bits. Messages without ID or text are skipped.
TEST(MessageTable, ReadsMessagesWhereverTheyStandAndIdsLikeTheCRuntime) {
    TempDir dir;
    MessageTable table;
    table.loadFile(widePath(dir.write("messages.msgres", R"(<?xml version="1.0" encoding="utf-8"?>
<Messages>
  <Message ID="129"><MessageText>first</MessageText></Message>
  <Group><Message ID="101"><Wrapper><MessageText>deep</MessageText></Wrapper>
    <MessageText>second of two</MessageText></Message></Group>
  <Message ID="129"><MessageText>replaced</MessageText></Message>
  <Message ID="102"><MessageText>caf&#233; &lt;%1&gt;</MessageText></Message>
  <Message ID="12abc"><MessageText>twelve</MessageText></Message>
  <Message ID="abc"><MessageText>zero</MessageText></Message>
  <Message ID="  +7"><MessageText>seven</MessageText></Message>
  <Message ID="-3"><MessageText>minus three</MessageText></Message>
  <Message ID="99999999999"><MessageText>clamped</MessageText></Message>
  <Message><MessageText>no id</MessageText></Message>
  <Message ID="13"/>
  <Message ID="14"><MessageText/></Message>
  <Message ID="15"><MessageText>after the broken ones</MessageText></Message>
</Messages>)")));
    const std::pair<std::int32_t, std::u16string> expected[] = {
        {129, u"replaced"}, {101, u"deep"}, {102, u"caf\u00e9 <%1>"}, {100, u"<none>"}, {12, u"twelve"},
        {0, u"zero"}, {7, u"seven"}, {-3, u"minus three"}, {2147483647, u"clamped"}, {13, u"<none>"},
        {14, u""}, {15, u"after the broken ones"}};
    for (const auto& [id, text] : expected) EXPECT_EQ(textOf(table, id), text) << id;
}

TEST(MessageTable, MissingOrMalformedFilesLeaveTheTableAsItWas) {
    TempDir dir;
    MessageTable table;
    table.loadFile(widePath(dir.file("absent.msgres")));
    table.loadFile(u"");
    EXPECT_TRUE(table.empty());

    table.loadFile(widePath(dir.write("good.msgres",
                                      "<Messages><Message ID=\"141\"><MessageText>gone</MessageText></Message></Messages>")));
    for (const char* broken : {"", "<Messages><Message ID=\"100\"><MessageText>x</Messages>", "\xff\xfegarbage",
                               "<!DOCTYPE x SYSTEM \"http://e/x\"><x/>"}) {
        table.loadFile(widePath(dir.write("broken.msgres", broken)));
        EXPECT_EQ(textOf(table, 141), u"gone") << broken;
        EXPECT_EQ(textOf(table, 100), u"<none>") << broken;
    }
    table.loadFile(widePath(dir.path()));  // a directory
    EXPECT_EQ(textOf(table, 141), u"gone");
}

TEST(MessageTable, ShippedFileHasAHelpfulTextForEveryFindingNumber) {
    const auto file = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "messages" /
                      "TarvikMF4Access.en-us.msgres";
    MessageTable table;
    table.loadFile(widePath(file));
    for (std::int32_t number = 99; number <= 149; ++number) {
        const auto text = table.text(number);
        // 140 is no finding number.
        ASSERT_EQ(text.has_value(), number >= 100 && number <= 148 && number != 140) << number;
        if (!text) continue;
        EXPECT_NE(text->find(u"%1"), std::u16string_view::npos) << number;
        // A finding with a detail format carries that detail, so its text must show it; 147
        // keeps a format in the table but is raised with the path alone.
        const bool detailed = number != 147 && !detailFormat(static_cast<std::uint32_t>(number)).empty();
        EXPECT_TRUE(!detailed || text->find(u"%2") != std::u16string_view::npos) << number;
    }
}

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
