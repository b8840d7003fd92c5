// Comments read into their classes: the root rewritten to validate, each class's fields, schema
// errors that still deliver the comment, and every comment the real files of other tools carry.
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "platform/text.h"
#include "support/corpus_comments.h"
#include "support/temp_dir.h"
#include "xml/comment_parse.h"
#include "xml/xml_call_context.h"

namespace tarvik {
namespace {

const std::u16string kNs = u" xmlns=\"http://www.asam.net/mdf/v4\"";

std::u16string root(std::u16string_view name, std::u16string_view body) {
    return u"<" + std::u16string(name) + kNs + u">" + std::u16string(body) + u"</" + std::u16string(name) + u">";
}

TEST(CommentRoot, RewriteAddsTheNamespaceAndDropsOtherAttributes) {
    EXPECT_EQ(normalizeCommentRoot(BlockKind::CN, u"<CNcomment><TX>a</TX></CNcomment>"),
              u"<CNcomment" + kNs + u"><TX>a</TX></CNcomment>");
    EXPECT_EQ(normalizeCommentRoot(BlockKind::HD, u"<?xml version=\"1.0\"?>\n<HDcomment a=\"1\" b='2'><TX/></HDcomment>"),
              u"<?xml version=\"1.0\"?>\n<HDcomment" + kNs + u"><TX/></HDcomment>");
    const std::u16string alreadyThere = u"<EVcomment xmlns:xsi=\"x\"" + kNs + u" extra=\"kept\"><TX/></EVcomment>";
    EXPECT_EQ(normalizeCommentRoot(BlockKind::EV, alreadyThere), alreadyThere);
    // Other namespaces, other kinds, other roots and broken tags are left alone.
    EXPECT_EQ(normalizeCommentRoot(BlockKind::CN, u"<CNcomment xmlns=\"urn:x\"/>"), u"<CNcomment" + kNs + u">");
    EXPECT_EQ(normalizeCommentRoot(BlockKind::DT, u"<CNcomment/>"), u"<CNcomment/>");
    EXPECT_EQ(normalizeCommentRoot(BlockKind::CN, u"<CGcomment><TX/></CGcomment>"), u"<CGcomment><TX/></CGcomment>");
    EXPECT_EQ(normalizeCommentRoot(BlockKind::CN, u"<CNcomment"), u"<CNcomment");

    XmlCallContext context;
    std::optional<std::u16string> error;
    auto comment = parseCNComment(context, normalizeCommentRoot(BlockKind::CN, u"<CNcomment ci=\"3\"><TX>x</TX></CNcomment>"), 410, &error);
    ASSERT_NE(comment, nullptr);
    EXPECT_FALSE(error) << "rewritten root must validate";
    EXPECT_EQ(comment->commentText, u"x");
}

TEST(CommentRead, EachClassTakesItsOwnFields) {
    XmlCallContext context;
    std::optional<std::u16string> error;

    auto hd = parseHDComment(context, root(u"HDcomment", u"<TX>Run &amp; more</TX><common_properties>"
        u"<e name=\"author\"/><tree name=\"vehicle\"><e name=\"vin\" type=\"string\">WAUZZZ</e></tree>"
        u"<e name=\"when\" type=\"date\">2024-01-01</e><e name=\"t\" type=\"time\">10:00:00</e>"
        u"<e name=\"n\" type=\"integer\">3</e></common_properties>"), 410, &error);
    ASSERT_NE(hd, nullptr);
    EXPECT_FALSE(error);
    EXPECT_EQ(hd->commentText, u"Run & more");
    const auto& properties = hd->properties->properties;
    ASSERT_EQ(properties.size(), 5u) << "properties inside a tree join the flat list";
    EXPECT_EQ(properties[1]->name + u"=" + properties[1]->value, u"vin=WAUZZZ");
    const std::uint32_t types[] = {0, 31, 7, 64, 20};  // none given, string, date, time, integer
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(properties[i]->type, types[i]) << i;
    EXPECT_EQ(propertyTypeCode(u"blob"), 0u);

    auto fh = parseFHComment(context, root(u"FHcomment", u"<TX/><tool_id>ToolIdentifier</tool_id>"
        u"<tool_vendor>Vendor</tool_vendor><tool_version>1.2.3</tool_version>"), 410, &error);
    ASSERT_NE(fh, nullptr);
    EXPECT_EQ(std::string(fh->toolId, 8), "ToolIden") << "the identifier keeps 8 characters";
    EXPECT_EQ(fh->toolVendor + u" " + fh->toolVersion, u"Vendor 1.2.3");

    auto marker = parseEVComment(context, root(u"EVcomment", u"<TX>m</TX><common_properties>"
        u"<e name=\"Type\" type=\"integer\">-2</e><e name=\"Color\">0x00FF00</e>"
        u"<e name=\"SystemTime\">1700000000.5</e></common_properties>"), 410, &error);
    ASSERT_NE(marker, nullptr);
    EXPECT_EQ(marker->typeProperty, -2);
    EXPECT_EQ(marker->colorProperty, 65280);
    EXPECT_DOUBLE_EQ(marker->systemTime, 1700000000.5);
    auto decimalColor = parseEVComment(context, root(u"EVcomment", u"<TX/><common_properties>"
        u"<e name=\"Color\">00FF00</e></common_properties>"), 410, &error);
    EXPECT_EQ(decimalColor->colorProperty, 0) << "without 0x the digits are decimal";

    auto trigger = parseEVComment(context, root(u"EVcomment", u"<TX/><pre_trigger_interval>0x10</pre_trigger_interval>"
        u"<post_trigger_interval>2.5</post_trigger_interval><formula><syntax>a &gt; b</syntax></formula>"
        u"<timeout triggered=\"TRUE\">3</timeout>"), 410, &error);
    ASSERT_NE(trigger, nullptr);
    ASSERT_TRUE(error) << "0x10 is no decimal to the schema";
    EXPECT_NE(error->find(u"pre_trigger_interval"), std::u16string::npos);
    EXPECT_EQ(trigger->preTrigger, 16.0) << "but it still reads as a hexadecimal number";
    EXPECT_EQ(trigger->postTrigger, 2.5);
    EXPECT_EQ(trigger->formulaSyntax, u"a > b");
    EXPECT_EQ(trigger->timeout, 3.0);
    EXPECT_TRUE(trigger->triggered);

    auto cn = parseCNComment(context, root(u"CNcomment", u"<TX>\n</TX><names><name>n</name><display>Speed</display></names>"
        u"<raster>0.01</raster>"), 410, &error);
    ASSERT_NE(cn, nullptr);
    EXPECT_EQ(cn->commentText, u"\r\n") << "a lone line feed arrives as CR LF";
    EXPECT_EQ(cn->displayName, u"Speed");
    EXPECT_EQ(cn->raster, 0.01);

    auto si = parseSIComment(context, root(u"SIcomment", u"<TX/><common_properties><e name=\"ChannelNo\">1</e>"
        u"<e name=\"other\">x</e><e name=\"ChannelNo\">2</e></common_properties>"), 400, &error);
    ASSERT_NE(si, nullptr);
    EXPECT_EQ(si->channelNumber, u"12");

    EXPECT_TRUE(parseCGComment(context, root(u"CGcomment", u"<TX>g</TX>"), 410, &error) && !error);
    EXPECT_TRUE(parseCCComment(context, root(u"CCcomment", u"<TX>c</TX>"), 410, &error) && !error);
    EXPECT_TRUE(parseATComment(context, root(u"ATcomment", u"<TX>a</TX>"), 410, &error) && !error);
}

TEST(CommentRead, SchemaErrorsDeliverTheCommentFatalOnesDoNot) {
    XmlCallContext context;
    std::optional<std::u16string> error;
    auto expectDeliveredWithError = [&](bool delivered, const char16_t* about) {
        EXPECT_TRUE(delivered && error && error->find(about) != std::u16string::npos)
            << delivered << (error ? error->size() : 0);
    };
    expectDeliveredWithError(parseHDComment(context, root(u"HDcomment", u"<TX/><unknown/>"), 410, &error) != nullptr,
                             u"unknown");
    expectDeliveredWithError(parseFHComment(context, root(u"FHcomment", u"<TX/><tool_vendor>v</tool_vendor>"), 410, &error) != nullptr,
                             u"tool_vendor");
    expectDeliveredWithError(parseEVComment(context, root(u"EVcomment", u"<TX/><timeout>1</timeout>"), 400, &error) != nullptr,
                             u"timeout");
    expectDeliveredWithError(parseCGComment(context, root(u"CGcomment", u"<common_properties/><TX/>"), 410, &error) != nullptr,
                             u"common_properties");
    expectDeliveredWithError(parseHDComment(context, u"<CNcomment" + kNs + u"><TX/></CNcomment>", 410, &error) != nullptr,
                             u"CNcomment");
    expectDeliveredWithError(parseCNComment(context, root(u"CNcomment", u"<TX/><raster>fast</raster><raster>1</raster>"), 410, &error) != nullptr,
                             u"'fast'");  // the first problem is the one kept

    auto ev = parseEVComment(context, root(u"EVcomment", u"<TX/><timeout triggered=\"false\">1</timeout>"), 410, &error);
    EXPECT_FALSE(error) << "timeout belongs to the 4.10 vocabulary";
    EXPECT_FALSE(ev->triggered);
    EXPECT_EQ(parseCNComment(context, u"<CNcomment" + kNs + u"><TX>open", 410, &error), nullptr);
    EXPECT_TRUE(error) << "a text that is not XML is not delivered and says why";
}

// Every XML comment of the corpus files must read with its comment class, and validate unless
// it breaks the MDF 4 vocabulary; those that do, worked out by reading them:
const std::set<std::pair<std::string, std::uint64_t>> kInvalid = {
    // Two `tree` elements named "Device Information" on one level: names of siblings of one
    // kind must be unique.
    {"CANedge_unfinalized_unsorted.MF4", 0x4a8},
    // tool_version "3.0.0.dev_3.0.x_213": after the dotted numbers only a blank and free text
    // may follow, not "dev_...".
    {"dax_test_metadata.mf4", 0x588},
    {"dax_test_metadata.mf4", 0x6b0},
};

TEST(CorpusComments, ReadAndValidateUnlessTheyBreakTheVocabulary) {
    const auto corpus = test::corpusDir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus beside the project";
    XmlCallContext context;
    std::size_t checked = 0;
    std::set<std::pair<std::string, std::uint64_t>> invalid;
    for (const test::CorpusComment& c : test::corpusComments(corpus)) {
        if (c.kind == BlockKind::None) continue;  // unit and other comments are not read
        ++checked;
        const std::u16string xml = normalizeCommentRoot(c.kind, platform::utf8ToUtf16(c.utf8));
        std::optional<std::u16string> error;
        EXPECT_NE(parseCommentOfKind(context, c.kind, xml, c.version, &error), nullptr) << c.file << " at " << c.offset;
        if (error) invalid.insert({c.file, c.offset});
    }
    EXPECT_GT(checked, 150u) << "the corpus holds about 170 comments of the eight kinds";
    EXPECT_EQ(invalid, kInvalid);
}

}  // namespace
}  // namespace tarvik
