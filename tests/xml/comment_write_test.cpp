#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "xml/comment_parse.h"
#include "xml/xml_call_context.h"
#include "xml/xml_text.h"
#include "xml/xml_writer.h"

namespace tarvik {
namespace {

// Serialises (which validates) and parses the result back with the same class.
template <typename Comment, typename Parse>
std::unique_ptr<Comment> roundTrip(XmlCallContext& context, const Comment& comment, std::uint16_t version,
                                   Parse parse, std::u16string* xmlOut = nullptr) {
    std::optional<std::u16string> error;
    const auto xml = serializeComment(context, comment, version, comment.schemaFile(), &error);
    EXPECT_TRUE(xml.has_value()) << (error ? error->size() : 0);
    if (!xml) return nullptr;
    if (xmlOut) *xmlOut = *xml;
    auto back = parse(context, *xml, version, &error);
    EXPECT_FALSE(error);
    return back;
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
    EXPECT_FALSE(parseXmlNumber(u"abc", value));
    EXPECT_EQ(value, 7.0) << "nothing read, nothing stored";
    EXPECT_TRUE(parseXmlNumber(u"  +2.5e1xyz", value));
    EXPECT_EQ(value, 25.0);
    EXPECT_TRUE(parseXmlNumber(u"0X1F", value));
    EXPECT_EQ(value, 31.0);
    std::int64_t integer = 0;
    EXPECT_TRUE(parseXmlInteger(u"-0x10", integer)) << "a sign before 0x is still decimal digits";
    EXPECT_EQ(integer, 0);
    EXPECT_TRUE(parseXmlInteger(u"99999999999999999999", integer));
    EXPECT_EQ(integer, INT64_MAX);
    EXPECT_FALSE(parseXmlInteger(u"x1", integer));
}

TEST(CommentWrite, EveryClassRoundTripsItsFields) {
    XmlCallContext context;
    ZtCHDComment hd;
    hd.commentText = escapeXml(u"A & B <test> \"quoted\" 'single'");
    addProperty(hd, u"when", 7, u"2024-01-01T10:00:00");
    addProperty(hd, u"who", 31, u"Tom & Jerry");
    addProperty(hd, u"count", 19, u"3");
    std::u16string xml;
    auto hdBack = roundTrip(context, hd, 410, parseHDComment, &xml);
    ASSERT_NE(hdBack, nullptr);
    EXPECT_EQ(hdBack->commentText, u"A & B <test> \"quoted\" 'single'") << "escaped texts come back as they were";
    EXPECT_NE(xml.find(u"<e name=\"when\" type=\"dateTime\">"), std::u16string::npos);
    EXPECT_NE(xml.find(u"<e name=\"who\">Tom &amp; Jerry</e>"), std::u16string::npos) << "strings carry no type";
    EXPECT_NE(xml.find(u"<e name=\"count\" type=\"integer\">3</e>"), std::u16string::npos);
    EXPECT_EQ(xml.rfind(u"<HDcomment xmlns=\"http://www.asam.net/mdf/v4\"><TX>", 0), 0u) << "no declaration";
    ASSERT_EQ(hdBack->properties->properties.size(), 3u);
    EXPECT_EQ(hdBack->properties->properties[1]->value, u"Tom & Jerry");
    EXPECT_EQ(hdBack->properties->properties[2]->type, 20u);

    ZtCFHComment fh;
    fh.commentText = u"created";
    std::memcpy(fh.toolId, "Tarvik\0\0", 8);
    fh.toolVendor = u"Tarvik team";
    fh.toolVersion = u"0.1.0";
    auto fhBack = roundTrip(context, fh, 400, parseFHComment);
    ASSERT_NE(fhBack, nullptr);
    EXPECT_EQ(std::string(fhBack->toolId, 6), "Tarvik");
    EXPECT_EQ(fhBack->toolId[6], 0);
    EXPECT_EQ(fhBack->toolVendor, u"Tarvik team");
    EXPECT_EQ(fhBack->toolVersion, u"0.1.0");

    ZtCCNComment cn;
    cn.commentText = u"speed";
    cn.displayName = u"v";
    cn.raster = 0.005;
    auto cnBack = roundTrip(context, cn, 410, parseCNComment);
    ASSERT_NE(cnBack, nullptr);
    EXPECT_EQ(cnBack->displayName, u"v");
    EXPECT_EQ(cnBack->raster, 0.005);

    ZtCSIComment si;
    si.channelNumber = u"4";
    auto siBack = roundTrip(context, si, 410, parseSIComment, &xml);
    ASSERT_NE(siBack, nullptr);
    EXPECT_EQ(siBack->channelNumber, u"4");
    EXPECT_NE(xml.find(u"<e name=\"ChannelNo\" type=\"string\">4</e>"), std::u16string::npos);

    for (const ZtCComment* plain : std::initializer_list<const ZtCComment*>{
             std::make_unique<ZtCCGComment>().release(), std::make_unique<ZtCCCComment>().release(),
             std::make_unique<ZtCATComment>().release()}) {
        std::unique_ptr<const ZtCComment> owned(plain);
        std::optional<std::u16string> error;
        EXPECT_TRUE(serializeComment(context, *plain, 410, plain->schemaFile(), &error)) << plain->schemaFile();
    }
}

TEST(CommentWrite, EventsWriteWhatTheirTypeNeeds) {
    XmlCallContext context;
    ZtCEVComment marker(410);
    marker.eventType = 6;
    marker.typeProperty = 3;
    marker.colorProperty = 65280;
    marker.systemTime = 1700000000.25;
    std::u16string xml;
    auto markerBack = roundTrip(context, marker, 410, parseEVComment, &xml);
    ASSERT_NE(markerBack, nullptr);
    EXPECT_EQ(markerBack->typeProperty, 3);
    EXPECT_EQ(markerBack->colorProperty, 65280);
    EXPECT_EQ(markerBack->systemTime, 1700000000.25);
    EXPECT_NE(xml.find(u"<e name=\"SystemTime\" type=\"dateTime\">1700000000.2500000000000000000</e>"), std::u16string::npos);

    ZtCEVComment trigger(400);
    trigger.eventType = 4;
    trigger.preTrigger = 1.5;
    trigger.postTrigger = 2;
    trigger.formulaSyntax = u"x &gt; 1";
    trigger.timeout = 9;
    auto oldBack = roundTrip(context, trigger, 400, parseEVComment, &xml);
    ASSERT_NE(oldBack, nullptr);
    EXPECT_EQ(xml.find(u"timeout"), std::u16string::npos) << "4.00 has no timeout";
    EXPECT_EQ(oldBack->formulaSyntax, u"x > 1");
    EXPECT_EQ(oldBack->postTrigger, 2.0);

    trigger.formatVersion = 410;
    trigger.triggered = true;
    auto newBack = roundTrip(context, trigger, 410, parseEVComment);
    ASSERT_NE(newBack, nullptr);
    EXPECT_EQ(newBack->timeout, 9.0);
    EXPECT_TRUE(newBack->triggered);
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
    EXPECT_EQ(xml.find(u"raster"), std::u16string::npos) << "a raster of 0 is not written";
    auto back = parseCNComment(context, xml, 410, &error);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->commentText, u"a & b");
    EXPECT_EQ(back->displayName, u"disp");
    ASSERT_EQ(back->properties->properties.size(), 3u);
    EXPECT_EQ(back->properties->properties[1]->value, u"1 < 2");
    EXPECT_EQ(back->properties->properties[2]->name, u"format");
    EXPECT_EQ(back->properties->properties[2]->type, 0u);
    removeProperty(*back, u"limit");
    ASSERT_EQ(back->properties->properties.size(), 2u);
    EXPECT_EQ(back->properties->properties[1]->name, u"format");

    EXPECT_EQ(buildChannelComment(context, u"", u"", std::nan(""), nullptr, 0, u"", 410, xml, &error), 2);
    EXPECT_TRUE(error) << "a raster that is no number does not validate";
}

}  // namespace
}  // namespace tarvik
