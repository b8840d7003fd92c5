// Comment objects: what an XML comment of an MDF block says, taken in from content events and
// written back as XML. Every comment has a text (its TX element) and may have common
// properties, a flat list of `e` elements.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xml/xml_element.h"

namespace tarvik {

class ZtCComment;
class ZtCCommonProperties;

// The value type code an `e` element's "type" attribute stands for; 0 for an unknown text.
std::uint32_t propertyTypeCode(std::u16string_view typeText);
// The "type" attribute text written for a value type code; empty when none is written.
std::u16string_view propertyTypeText(std::uint32_t typeCode);

// One `e` element: a named, typed value.
class ZtCE final : public ZtIXMLElement {
public:
    explicit ZtCE(ZtCCommonProperties* parent) : parent_(parent) {}
    ZtCE(ZtCCommonProperties* parent, std::u16string name, std::uint32_t type, std::u16string value)
        : parent_(parent), name(std::move(name)), type(type), value(std::move(value)) {}

    ZtIXMLElement* startChild(std::u16string_view) override { return this; }
    ZtIXMLElement* endElement(std::u16string_view element) override;
    void attribute(std::u16string_view element, std::u16string_view attribute,
                   std::u16string_view text) override;
    void text(std::u16string_view element, std::u16string_view text) override;
    void writeXml(ZtCXMLWriter& writer) const override;

private:
    ZtCCommonProperties* parent_;

public:
    std::u16string name;
    std::uint32_t type = 0;
    std::u16string value;
};

// The common properties of a comment. Elements that group properties (tree, list, elist) are
// looked through: the `e` elements inside them join the same flat list.
class ZtCCommonProperties final : public ZtIXMLElement {
public:
    explicit ZtCCommonProperties(ZtCComment* parent) : parent_(parent) {}

    ZtIXMLElement* startChild(std::u16string_view element) override;
    ZtIXMLElement* endElement(std::u16string_view element) override;
    void attribute(std::u16string_view, std::u16string_view, std::u16string_view) override {}
    void text(std::u16string_view, std::u16string_view) override {}
    void writeXml(ZtCXMLWriter& writer) const override;

    void append(std::u16string name, std::uint32_t type, std::u16string value);
    // The first property of that name, or null.
    const ZtCE* find(std::u16string_view name) const;

    std::vector<std::shared_ptr<ZtCE>> properties;

private:
    ZtCComment* parent_;
};

class ZtCComment : public ZtIXMLElement {
public:
    ZtCComment() = default;
    // Properties point back at their comment, so a comment is never copied.
    ZtCComment(const ZtCComment&) = delete;
    ZtCComment& operator=(const ZtCComment&) = delete;

    ZtIXMLElement* startChild(std::u16string_view element) override;
    ZtIXMLElement* endElement(std::u16string_view) override { return this; }
    void attribute(std::u16string_view, std::u16string_view, std::u16string_view) override {}
    void text(std::u16string_view element, std::u16string_view text) override;
    // The plain form most comments have: root, TX, common properties.
    void writeXml(ZtCXMLWriter& writer) const override;

    // The root element and schema file of the comment class.
    virtual std::u16string_view rootElement() const = 0;
    virtual std::string_view schemaFile() const = 0;

    // The properties, created when there are none yet.
    ZtCCommonProperties& commonProperties();

    std::u16string commentText;  // content of TX; consecutive pieces are appended
    std::shared_ptr<ZtCCommonProperties> properties;  // null until common_properties is met

protected:
    // The root start tag with the MDF namespace.
    void writeRootStart(ZtCXMLWriter& writer) const;
    // The root start tag and the TX element.
    void writeRootAndText(ZtCXMLWriter& writer) const;
};

}  // namespace tarvik
