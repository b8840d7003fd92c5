// Parsing XML text with schema validation, delivering content events in document order to a
// tree of ZtIXMLElement objects.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "xml/xml_element.h"

namespace tarvik {

class XmlCallContext;

// Keeps the first problem a parse reports: its message, its code, and whether the parser
// could not go on (a document that is not well-formed).
class ZtCXMLValidator {
public:
    void reportError(int code, std::u16string message, bool fatal);
    // Hands the first message out (when `place` is given) and forgets it.
    void handOutError(std::optional<std::u16string>* place);

    const std::optional<std::u16string>& firstError() const { return firstError_; }
    int errorCode() const { return errorCode_; }
    bool fatal() const { return fatal_; }

private:
    std::optional<std::u16string> firstError_;
    int errorCode_ = 0;
    bool fatal_ = false;
};

class ZtCXMLReader : public ZtCXMLValidator {
public:
    // Events go to `root` first and then to whatever its operations hand on.
    explicit ZtCXMLReader(ZtIXMLElement& root) : current_(&root) {}

    void startElement(std::u16string_view name);
    void attribute(std::u16string_view name, std::u16string_view value);
    void endElement();
    void characters(std::u16string_view text);

private:
    ZtIXMLElement* current_;
    std::deque<std::u16string> openElements_;
};

// Parses `xml` with the reader, validating against `schemaFile` of the schema set of
// `version` (a file the library does not carry means no validation). Returns 1 exactly when
// the text is well-formed and valid, 0 otherwise; the first problem's message goes to
// `firstError` when given.
int parseXml(XmlCallContext& context, ZtCXMLReader& reader, std::u16string_view xml,
             std::uint16_t version, std::string_view schemaFile,
             std::optional<std::u16string>* firstError);

}  // namespace tarvik
