#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "xml/comment_parse.h"
#include "xml/xml_call_context.h"
#include "xml/xml_text.h"
#include "xml/xml_writer.h"

namespace tarvik {
namespace {

const std::u16string kNs = u" xmlns=\"http://www.asam.net/mdf/v4\"";

// The XML a comment writes, validated against the comment's schema on the way; "invalid" when
// it does not validate.
std::u16string written(const ZtCComment& comment, std::uint16_t version) {
    XmlCallContext context;
    return serializeComment(context, comment, version, comment.schemaFile(), nullptr).value_or(u"invalid");
}

TEST(XmlNumbers, ThreeFormattingRegimes) {
    EXPECT_EQ(formatXmlNumber(2500000.0), u"2500000.0000000000000000000");
    EXPECT_EQ(formatXmlNumber(1.5), u"1.5");
    EXPECT_EQ(formatXmlNumber(0.0), u"0");
    EXPECT_EQ(formatXmlNumber(-123.456789), u"-123.457");
    EXPECT_EQ(formatXmlNumber(0.00000762939453125), u"0.000007629394531250000000") << "5 + 19 decimals";
    EXPECT_EQ(formatXmlNumber(0.00012), u"0.00012");
    EXPECT_EQ(formatXmlNumber(999999.5), u"999999.5000000000000000000") << "never an exponent";
    EXPECT_EQ(formatXmlNumber(100000.0), u"100000");

    double value = 7;
    EXPECT_TRUE(!parseXmlNumber(u"abc", value) && value == 7.0) << "nothing read, nothing stored: " << value;
    EXPECT_TRUE(parseXmlNumber(u"  +2.5e1xyz", value) && value == 25.0) << value;
    EXPECT_TRUE(parseXmlNumber(u"0X1F", value) && value == 31.0) << value;
    std::int64_t integer = 0;
    EXPECT_TRUE(parseXmlInteger(u"-0x10", integer) && integer == 0) << "a sign before 0x leaves decimal digits: " << integer;
    EXPECT_TRUE(parseXmlInteger(u"99999999999999999999", integer) && integer == INT64_MAX) << integer;
    EXPECT_FALSE(parseXmlInteger(u"x1", integer));
}

TEST(CommentWrite, EveryClassWritesItsFields) {
    ZtCHDComment hd;
    hd.commentText = escapeXml(u"A & B <test> \"quoted\" 'single'");
    addProperty(hd, u"when", 7, u"2024-01-01T10:00:00");
    addProperty(hd, u"who", 31, u"Tom & Jerry");
    addProperty(hd, u"count", 19, u"3");
    // No declaration; strings carry no type.
    EXPECT_EQ(written(hd, 410), u"<HDcomment" + kNs + u"><TX>A &amp; B &lt;test&gt; &quot;quoted&quot; &apos;single&apos;</TX>"
              u"<common_properties><e name=\"when\" type=\"dateTime\">2024-01-01T10:00:00</e><e name=\"who\">Tom &amp; Jerry</e>"
              u"<e name=\"count\" type=\"integer\">3</e></common_properties></HDcomment>");

    ZtCFHComment fh;
    fh.commentText = u"created";
    std::memcpy(fh.toolId, "Tarvik\0\0", 8);
    fh.toolVendor = u"Tarvik team";
    fh.toolVersion = u"0.1.0";
    EXPECT_EQ(written(fh, 400), u"<FHcomment" + kNs + u"><TX>created</TX><tool_id>Tarvik</tool_id>"
              u"<tool_vendor>Tarvik team</tool_vendor><tool_version>0.1.0</tool_version></FHcomment>");

    ZtCCNComment cn;
    cn.commentText = u"speed";
    cn.displayName = u"v";
    cn.raster = 0.005;
    const std::u16string cnXml = u"<CNcomment" + kNs + u"><TX>speed</TX><names><display>v</display></names>";
    EXPECT_EQ(written(cn, 410), cnXml + u"<raster>0.005</raster></CNcomment>");
    cn.raster = 0;  // a raster of 0 is not written
    EXPECT_EQ(written(cn, 410), cnXml + u"</CNcomment>");

    ZtCSIComment si;
    si.channelNumber = u"4";
    EXPECT_EQ(written(si, 410), u"<SIcomment" + kNs + u"><TX></TX><common_properties>"
              u"<e name=\"ChannelNo\" type=\"string\">4</e></common_properties></SIcomment>");

    EXPECT_EQ(written(ZtCCGComment{}, 410), u"<CGcomment" + kNs + u"><TX></TX></CGcomment>");
    EXPECT_EQ(written(ZtCCCComment{}, 410), u"<CCcomment" + kNs + u"><TX></TX></CCcomment>");
    EXPECT_EQ(written(ZtCATComment{}, 410), u"<ATcomment" + kNs + u"><TX></TX></ATcomment>");
}

TEST(CommentWrite, EventsWriteWhatTheirTypeNeeds) {
    ZtCEVComment marker(410);
    marker.eventType = 6;
    marker.typeProperty = 3;
    marker.colorProperty = 65280;
    marker.systemTime = 1700000000.25;
    EXPECT_EQ(written(marker, 410), u"<EVcomment" + kNs + u"><TX></TX><common_properties><e name=\"Type\" type=\"integer\">3</e>"
              u"<e name=\"Color\" type=\"integer\">65280</e><e name=\"SystemTime\" type=\"dateTime\">"
              u"1700000000.2500000000000000000</e></common_properties></EVcomment>");

    ZtCEVComment trigger(400);
    trigger.eventType = 4;
    trigger.preTrigger = 1.5;
    trigger.postTrigger = 2;
    trigger.formulaSyntax = u"x &gt; 1";
    trigger.timeout = 9;
    const std::u16string triggerXml = u"<EVcomment" + kNs + u"><TX></TX><pre_trigger_interval>1.5</pre_trigger_interval>"
        u"<post_trigger_interval>2</post_trigger_interval><formula><syntax>x &gt; 1</syntax></formula>";
    EXPECT_EQ(written(trigger, 400), triggerXml + u"</EVcomment>") << "4.00 has no timeout";
    trigger.formatVersion = 410;
    trigger.triggered = true;
    EXPECT_EQ(written(trigger, 410), triggerXml + u"<timeout triggered=\"true\">9</timeout></EVcomment>");
}

TEST(CommentWrite, ChannelCommentsFromContentProperties) {
    XmlCallContext context;
    MF4Property properties[] = {
        {32, const_cast<MF4Char*>(u"ASAM.DimensionOrder"), 31, const_cast<MF4Char*>(u"YX")},
        {32, const_cast<MF4Char*>(u"limit"), 5, const_cast<MF4Char*>(u"1 < 2")},
    };
    EXPECT_EQ(dimensionOrder(properties, 2), 2);
    EXPECT_EQ(dimensionOrder(properties, 0), 0);
    std::u16string xml;
    std::optional<std::u16string> error;
    ASSERT_EQ(buildChannelComment(context, u"a & b", u"disp", 0.0, properties, 2, u"%.2f", 410, xml, &error), 0);
    EXPECT_EQ(xml, u"<CNcomment" + kNs + u"><TX>a &amp; b</TX><names><display>disp</display></names><common_properties>"
                   u"<e name=\"ASAM.DimensionOrder\">YX</e><e name=\"limit\" type=\"float\">1 &lt; 2</e>"
                   u"<e name=\"format\">%.2f</e></common_properties></CNcomment>");
    auto back = parseCNComment(context, xml, 410, &error);
    ASSERT_NE(back, nullptr);
    removeProperty(*back, u"limit");
    ASSERT_EQ(back->properties->properties.size(), 2u);
    EXPECT_EQ(back->properties->properties[1]->name, u"format");

    EXPECT_EQ(buildChannelComment(context, u"", u"", std::nan(""), nullptr, 0, u"", 410, xml, &error), 2);
    EXPECT_TRUE(error) << "a raster that is no number does not validate";
}

}  // namespace
}  // namespace tarvik
