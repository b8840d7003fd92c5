#include "xml/comment_classes.h"

#include <algorithm>

#include "xml/xml_text.h"
#include "xml/xml_writer.h"

namespace tarvik {

namespace {

void writeTextElement(ZtCXMLWriter& writer, std::u16string_view name, std::u16string_view text) {
    writer.startElement(name, true);
    writer.writeText(text);
    writer.endElement(name);
}

void writeNumberElement(ZtCXMLWriter& writer, std::u16string_view name, double value) {
    writer.startElement(name, true);
    writer.writeNumber(value);
    writer.endElement(name);
}

void writeProperty(ZtCXMLWriter& writer, std::u16string_view name, std::u16string_view type,
                   std::u16string_view value) {
    writer.startElement(u"e", false);
    writer.attribute(u"name", name);
    writer.attribute(u"type", type);
    writer.closeStartTag();
    writer.writeText(value);
    writer.endElement(u"e");
}

}  // namespace

// FH: the tool that wrote a file.

void ZtCFHComment::text(std::u16string_view element, std::u16string_view text) {
    if (element == u"tool_id") {
        // The identifier has room for 8 single-byte characters; others become '?'.
        for (char16_t c : text) {
            if (toolIdLength_ == sizeof toolId) break;
            toolId[toolIdLength_++] = c <= 0xFF ? static_cast<char>(c) : '?';
        }
    } else if (element == u"tool_vendor") {
        toolVendor += text;
    } else if (element == u"tool_version") {
        toolVersion = text;
    } else {
        ZtCComment::text(element, text);
    }
}

void ZtCFHComment::writeXml(ZtCXMLWriter& writer) const {
    writeRootAndText(writer);
    std::u16string id;
    for (char c : toolId) {
        if (c == 0) break;
        id.push_back(static_cast<unsigned char>(c));
    }
    writeTextElement(writer, u"tool_id", id);
    writeTextElement(writer, u"tool_vendor", toolVendor);
    writeTextElement(writer, u"tool_version", toolVersion);
    writer.endElement(rootElement());
}

// EV: trigger intervals, formula and timeout, and the marker properties Type, Color and
// SystemTime.

ZtIXMLElement* ZtCEVComment::endElement(std::u16string_view element) {
    if (element == u"EVcomment" && properties) {
        std::int64_t integer = 0;
        if (const ZtCE* type = properties->find(u"Type"); type && parseXmlInteger(type->value, integer))
            typeProperty = integer;
        if (const ZtCE* color = properties->find(u"Color"); color && parseXmlInteger(color->value, integer))
            colorProperty = static_cast<std::int32_t>(integer);
        if (const ZtCE* time = properties->find(u"SystemTime")) parseXmlNumber(time->value, systemTime);
    }
    return this;
}

void ZtCEVComment::attribute(std::u16string_view element, std::u16string_view name,
                             std::u16string_view value) {
    if (element == u"timeout" && name == u"triggered") triggered = value == u"true" || value == u"TRUE";
}

void ZtCEVComment::text(std::u16string_view element, std::u16string_view text) {
    if (element == u"pre_trigger_interval") parseXmlNumber(text, preTrigger);
    else if (element == u"post_trigger_interval") parseXmlNumber(text, postTrigger);
    else if (element == u"timeout") parseXmlNumber(text, timeout);
    else if (element == u"syntax") formulaSyntax += text;
    else ZtCComment::text(element, text);
}

void ZtCEVComment::writeXml(ZtCXMLWriter& writer) const {
    writeRootAndText(writer);
    if (eventType == 6) {  // marker
        writer.startElement(u"common_properties", true);
        writeProperty(writer, u"Type", u"integer", formatXmlInteger(typeProperty));
        writeProperty(writer, u"Color", u"integer", formatXmlInteger(colorProperty));
        writeProperty(writer, u"SystemTime", u"dateTime", formatXmlNumber(systemTime));
        writer.endElement(u"common_properties");
    } else if (eventType >= 3 && eventType <= 5) {  // triggers
        writeNumberElement(writer, u"pre_trigger_interval", preTrigger);
        writeNumberElement(writer, u"post_trigger_interval", postTrigger);
        writer.startElement(u"formula", true);
        writeTextElement(writer, u"syntax", formulaSyntax);
        writer.endElement(u"formula");
        if (formatVersion == 410) {
            writer.startElement(u"timeout", false);
            writer.attribute(u"triggered", triggered ? u"true" : u"false");
            writer.closeStartTag();
            writer.writeNumber(timeout);
            writer.endElement(u"timeout");
        }
    }
    writer.endElement(rootElement());
}

// CN: display name and raster.

void ZtCCNComment::text(std::u16string_view element, std::u16string_view text) {
    if (element == u"display") displayName += text;
    else if (element == u"raster") parseXmlNumber(text, raster);
    else ZtCComment::text(element, text);
}

void ZtCCNComment::writeXml(ZtCXMLWriter& writer) const {
    writeRootAndText(writer);
    if (!displayName.empty()) {
        writer.startElement(u"names", true);
        writeTextElement(writer, u"display", displayName);
        writer.endElement(u"names");
    }
    if (raster != 0.0) writeNumberElement(writer, u"raster", raster);
    if (properties) properties->writeXml(writer);
    writer.endElement(rootElement());
}

// SI: the channel number of a bus source.

ZtIXMLElement* ZtCSIComment::endElement(std::u16string_view element) {
    if (element == u"SIcomment" && properties)
        for (const auto& property : properties->properties)
            if (property->name == u"ChannelNo") channelNumber += property->value;
    return this;
}

void ZtCSIComment::writeXml(ZtCXMLWriter& writer) const {
    writeRootStart(writer);
    writeTextElement(writer, u"TX", u"");  // a source comment's text is not kept
    writer.startElement(u"common_properties", true);
    writeProperty(writer, u"ChannelNo", u"string", channelNumber);
    writer.endElement(u"common_properties");
    writer.endElement(rootElement());
}

}  // namespace tarvik
