#include "findings/message_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "findings/detail_format.h"
#include "support/temp_dir.h"

namespace tarvik {
namespace {

using test::TempDir;
using test::widePath;

MessageTable loadText(const TempDir& dir, std::string_view xml) {
    MessageTable table;
    table.loadFile(widePath(dir.write("messages.msgres", xml)));
    return table;
}

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

TEST(MessageTable, ReadsMessagesWhereverTheyStandAndLaterDuplicatesWin) {
    TempDir dir;
    const MessageTable table = loadText(dir, R"(<?xml version="1.0" encoding="utf-8"?>
<Messages>
  <Message ID="129"><MessageText>first</MessageText></Message>
  <Group><Message ID="101"><Wrapper><MessageText>deep</MessageText></Wrapper>
    <MessageText>second of two</MessageText></Message></Group>
  <Message ID="129"><MessageText>replaced</MessageText></Message>
  <Message ID="102"><MessageText>caf&#233; &lt;%1&gt;</MessageText></Message>
</Messages>)");
    EXPECT_EQ(textOf(table, 129), u"replaced");
    EXPECT_EQ(textOf(table, 101), u"deep");
    EXPECT_EQ(textOf(table, 102), u"caf\u00e9 <%1>");
    EXPECT_EQ(textOf(table, 100), u"<none>");
}

TEST(MessageTable, IdsAreReadLikeTheCRuntimeAndIncompleteMessagesAreSkipped) {
    TempDir dir;
    const MessageTable table = loadText(dir, R"(<Messages>
  <Message ID="12abc"><MessageText>twelve</MessageText></Message>
  <Message ID="abc"><MessageText>zero</MessageText></Message>
  <Message ID="  +7"><MessageText>seven</MessageText></Message>
  <Message ID="-3"><MessageText>minus three</MessageText></Message>
  <Message ID="99999999999"><MessageText>clamped</MessageText></Message>
  <Message><MessageText>no id</MessageText></Message>
  <Message ID="13"/>
  <Message ID="14"><MessageText/></Message>
  <Message ID="15"><MessageText>after the broken ones</MessageText></Message>
</Messages>)");
    EXPECT_EQ(textOf(table, 12), u"twelve");
    EXPECT_EQ(textOf(table, 0), u"zero");
    EXPECT_EQ(textOf(table, 7), u"seven");
    EXPECT_EQ(textOf(table, -3), u"minus three");
    EXPECT_EQ(textOf(table, 2147483647), u"clamped");
    EXPECT_EQ(textOf(table, 13), u"<none>");
    EXPECT_EQ(textOf(table, 14), u"");
    EXPECT_EQ(textOf(table, 15), u"after the broken ones");
}

TEST(MessageTable, MissingOrMalformedFilesLeaveTheTableAsItWas) {
    TempDir dir;
    MessageTable table;
    table.loadFile(widePath(dir.file("absent.msgres")));
    EXPECT_TRUE(table.empty());
    table.loadFile(u"");
    EXPECT_TRUE(table.empty());

    table.loadFile(widePath(dir.write("good.msgres",
                                      "<Messages><Message ID=\"141\"><MessageText>gone"
                                      "</MessageText></Message></Messages>")));
    for (const char* broken : {"", "<Messages><Message ID=\"100\"><MessageText>x</Messages>",
                               "\xff\xfegarbage", "<!DOCTYPE x SYSTEM \"http://e/x\"><x/>"}) {
        table.loadFile(widePath(dir.write("broken.msgres", broken)));
        EXPECT_EQ(textOf(table, 141), u"gone") << broken;
        EXPECT_EQ(textOf(table, 100), u"<none>") << broken;
    }
    table.loadFile(widePath(dir.path()));  // a directory
    EXPECT_EQ(textOf(table, 141), u"gone");
}

TEST(MessageTable, ShippedFileHasAHelpfulTextForEveryFindingNumber) {
    const auto file = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() /
                      "messages" / "TarvikMF4Access.en-us.msgres";
    MessageTable table;
    table.loadFile(widePath(file));
    ASSERT_FALSE(table.empty()) << file;
    for (std::int32_t number = 100; number <= 148; ++number) {
        const auto text = table.text(number);
        if (number == 140) {
            EXPECT_FALSE(text) << "140 is not a finding number";
            continue;
        }
        ASSERT_TRUE(text) << number;
        EXPECT_NE(text->find(u"%1"), std::u16string_view::npos) << number;
        // A finding with a detail format carries that detail, so its text must show it;
        // 147 keeps a format in the table but is raised with the path alone.
        if (number != 147 && !detailFormat(static_cast<std::uint32_t>(number)).empty()) {
            EXPECT_NE(text->find(u"%2"), std::u16string_view::npos) << number;
        }
    }
    EXPECT_FALSE(table.text(99));
    EXPECT_FALSE(table.text(149));
}

}  // namespace
}  // namespace tarvik
