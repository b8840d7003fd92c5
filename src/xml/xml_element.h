// The receiver of XML content events: comment objects and their parts implement it, the reader
// drives it, and each object can write itself back as XML.
#pragma once

#include <string_view>

namespace tarvik {

class ZtCXMLWriter;

class ZtIXMLElement {
public:
    virtual ~ZtIXMLElement() = default;
    // An element starts inside this one; returns the object that handles it (a new child, or
    // this object).
    virtual ZtIXMLElement* startChild(std::u16string_view name) = 0;
    // An element ends; returns the object that becomes current (the parent when this object's
    // own element ends, otherwise this object).
    virtual ZtIXMLElement* endElement(std::u16string_view name) = 0;
    // One attribute of the element that just started.
    virtual void attribute(std::u16string_view element, std::u16string_view name,
                           std::u16string_view value) = 0;
    // Character data inside the innermost open element `element`.
    virtual void text(std::u16string_view element, std::u16string_view text) = 0;
    virtual void writeXml(ZtCXMLWriter& writer) const = 0;
};

}  // namespace tarvik
