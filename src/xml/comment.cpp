#include "xml/comment.h"

#include <array>

#include "xml/schema_resources.h"
#include "xml/xml_writer.h"

namespace tarvik {

namespace {

struct PropertyType {
    std::u16string_view text;
    std::uint32_t code;
};

// Reading: attribute text to value type code. "date" and "dateTime" share a code, so a "date"
// property is written back as "dateTime".
constexpr std::array<PropertyType, 8> kTypesRead{{
    {u"string", 31}, {u"decimal", 14}, {u"integer", 20}, {u"float", 5},
    {u"boolean", 11}, {u"date", 7}, {u"time", 64}, {u"dateTime", 7},
}};

}  // namespace

std::uint32_t propertyTypeCode(std::u16string_view typeText) {
    for (const PropertyType& type : kTypesRead)
        if (type.text == typeText) return type.code;
    return 0;
}

std::u16string_view propertyTypeText(std::uint32_t typeCode) {
    switch (typeCode) {
    case 14:
        return u"decimal";
    case 2: case 3: case 16: case 17: case 18: case 19: case 20: case 21: case 22: case 23:
        return u"integer";
    case 4: case 5:
        return u"float";
    case 11:
        return u"boolean";
    case 64:
        return u"time";
    case 7:
        return u"dateTime";
    default:  // strings are the default type and carry no attribute
        return {};
    }
}

ZtIXMLElement* ZtCE::endElement(std::u16string_view element) {
    return element == u"e" ? static_cast<ZtIXMLElement*>(parent_) : this;
}

void ZtCE::attribute(std::u16string_view, std::u16string_view attribute, std::u16string_view text) {
    if (attribute == u"name") {
        name = text;
    } else if (attribute == u"type") {
        // An unknown type text leaves the code as it was.
        if (const std::uint32_t code = propertyTypeCode(text)) type = code;
    }
}

void ZtCE::text(std::u16string_view, std::u16string_view text) { value += text; }

void ZtCE::writeXml(ZtCXMLWriter& writer) const {
    writer.startElement(u"e", false);
    if (!name.empty()) writer.attribute(u"name", name);
    if (const std::u16string_view typeText = propertyTypeText(type); !typeText.empty())
        writer.attribute(u"type", typeText);
    writer.closeStartTag();
    writer.writeText(value);
    writer.endElement(u"e");
}

ZtIXMLElement* ZtCCommonProperties::startChild(std::u16string_view element) {
    if (element != u"e") return this;
    properties.push_back(std::make_shared<ZtCE>(this));
    return properties.back().get();
}

ZtIXMLElement* ZtCCommonProperties::endElement(std::u16string_view element) {
    return element == u"common_properties" ? static_cast<ZtIXMLElement*>(parent_) : this;
}

void ZtCCommonProperties::writeXml(ZtCXMLWriter& writer) const {
    if (properties.empty()) return;
    writer.startElement(u"common_properties", true);
    for (const auto& property : properties) property->writeXml(writer);
    writer.endElement(u"common_properties");
}

void ZtCCommonProperties::append(std::u16string name, std::uint32_t type, std::u16string value) {
    properties.push_back(std::make_shared<ZtCE>(this, std::move(name), type, std::move(value)));
}

const ZtCE* ZtCCommonProperties::find(std::u16string_view name) const {
    for (const auto& property : properties)
        if (property->name == name) return property.get();
    return nullptr;
}

ZtIXMLElement* ZtCComment::startChild(std::u16string_view element) {
    if (element != u"common_properties") return this;
    // A second common_properties element replaces the first.
    properties = std::make_shared<ZtCCommonProperties>(this);
    return properties.get();
}

void ZtCComment::text(std::u16string_view element, std::u16string_view text) {
    if (element == u"TX") commentText += text;
}

ZtCCommonProperties& ZtCComment::commonProperties() {
    if (!properties) properties = std::make_shared<ZtCCommonProperties>(this);
    return *properties;
}

void ZtCComment::writeRootStart(ZtCXMLWriter& writer) const {
    writer.startElement(rootElement(), false);
    writer.attribute(u"xmlns", kMdfNamespace);
    writer.closeStartTag();
}

void ZtCComment::writeRootAndText(ZtCXMLWriter& writer) const {
    writeRootStart(writer);
    writer.startElement(u"TX", true);
    writer.writeText(commentText);
    writer.endElement(u"TX");
}

void ZtCComment::writeXml(ZtCXMLWriter& writer) const {
    writeRootAndText(writer);
    if (properties) properties->writeXml(writer);
    writer.endElement(rootElement());
}

}  // namespace tarvik
