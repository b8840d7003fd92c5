#include "xml/xml_reader.h"

#include <libxml/parser.h>
#include <libxml/xmlschemas.h>

#include <memory>

#include "platform/text.h"
#include "xml/schema_cache.h"
#include "xml/xml_call_context.h"

namespace tarvik {

void SchemaValidationDeleter::operator()(_xmlSchemaValidCtxt* context) const {
    xmlSchemaFreeValidCtxt(context);
}

ValidatingReader& XmlCallContext::getValidatingReader(std::uint16_t version,
                                                      const std::string& schemaFile) {
    auto [entry, inserted] = readers_.try_emplace({version, schemaFile});
    if (inserted) {
        if (const xmlSchema* schema = addSchema(version, schemaFile))
            // libxml2 only reads the compiled schema while validating, so one compiled schema
            // serves every call on every thread; the validation state is this call's own.
            entry->second.validation.reset(xmlSchemaNewValidCtxt(const_cast<xmlSchema*>(schema)));
    }
    return entry->second;
}

void ZtCXMLValidator::reportError(int code, std::u16string message, bool fatal) {
    fatal_ = fatal_ || fatal;
    if (firstError_) return;
    // The parser ends its messages with a line feed that means nothing to a reader of findings.
    while (!message.empty() && (message.back() == u'\n' || message.back() == u' ')) message.pop_back();
    firstError_ = std::move(message);
    errorCode_ = code;
}

void ZtCXMLValidator::handOutError(std::optional<std::u16string>* place) {
    if (place != nullptr) *place = firstError_;
    firstError_.reset();
}

void ZtCXMLReader::startElement(std::u16string_view name) {
    current_ = current_->startChild(name);
    openElements_.emplace_back(name);
}

void ZtCXMLReader::attribute(std::u16string_view name, std::u16string_view value) {
    current_->attribute(openElements_.back(), name, value);
}

void ZtCXMLReader::endElement() {
    if (openElements_.empty()) return;
    const std::u16string name = std::move(openElements_.back());
    openElements_.pop_back();
    current_ = current_->endElement(name);
}

void ZtCXMLReader::characters(std::u16string_view text) {
    if (openElements_.empty()) return;
    // A line break that arrives on its own is handed on as the CR LF pair Windows tools expect.
    current_->text(openElements_.back(), text == u"\n" ? std::u16string_view(u"\r\n") : text);
}

namespace {

std::u16string fromXml(const xmlChar* text, std::size_t length) {
    return platform::utf8ToUtf16({reinterpret_cast<const char*>(text), length});
}

std::u16string fromXml(const xmlChar* text) {
    return text ? fromXml(text, std::char_traits<char>::length(reinterpret_cast<const char*>(text)))
                : std::u16string();
}

// The parser hands out an attribute's "&" as the character reference "&#38;" when entities are
// not substituted; every other character arrives as it is.
std::u16string attributeValue(const xmlChar* begin, const xmlChar* end) {
    const std::u16string raw = fromXml(begin, static_cast<std::size_t>(end - begin));
    constexpr std::u16string_view kAmpersand = u"&#38;";
    std::u16string value;
    value.reserve(raw.size());
    for (std::size_t at = 0; at < raw.size();) {
        if (std::u16string_view(raw).substr(at, kAmpersand.size()) == kAmpersand) {
            value += u'&';
            at += kAmpersand.size();
        } else {
            value += raw[at++];
        }
    }
    return value;
}

ZtCXMLReader& readerOf(void* context) { return *static_cast<ZtCXMLReader*>(context); }

void onStartElement(void* context, const xmlChar* localName, const xmlChar*, const xmlChar*, int,
                    const xmlChar**, int attributeCount, int, const xmlChar** attributes) {
    ZtCXMLReader& reader = readerOf(context);
    reader.startElement(fromXml(localName));
    // Each attribute is five pointers: local name, prefix, namespace, value start, value end.
    for (int i = 0; i < attributeCount; ++i) {
        const xmlChar** attribute = attributes + 5 * i;
        reader.attribute(fromXml(attribute[0]), attributeValue(attribute[3], attribute[4]));
    }
}

void onEndElement(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
    readerOf(context).endElement();
}

void onCharacters(void* context, const xmlChar* text, int length) {
    readerOf(context).characters(fromXml(text, static_cast<std::size_t>(length)));
}

void onValidityError(void* context, xmlErrorPtr error) {
    if (error == nullptr || error->level < XML_ERR_ERROR) return;
    readerOf(context).reportError(error->code, fromXml(reinterpret_cast<const xmlChar*>(error->message)),
                                  error->level == XML_ERR_FATAL);
}

struct ParserDeleter {
    void operator()(xmlParserCtxt* parser) const { xmlFreeParserCtxt(parser); }
};

// Runs the parser over `utf8` with `sax` (possibly wrapped by the validator).
void runParser(xmlSAXHandler* sax, void* userData, const std::string& utf8, ZtCXMLReader& reader) {
    std::unique_ptr<xmlParserCtxt, ParserDeleter> parser(
        xmlCreatePushParserCtxt(sax, userData, nullptr, 0, nullptr));
    if (!parser) {
        reader.reportError(XML_ERR_NO_MEMORY, u"The XML parser could not be created.", true);
        return;
    }
    // No network, no external entities: a comment must never make the library fetch anything.
    xmlCtxtUseOptions(parser.get(), XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    xmlParseChunk(parser.get(), utf8.data(), static_cast<int>(utf8.size()), 1);
    if (!parser->wellFormed) {
        const xmlError* error = xmlCtxtGetLastError(parser.get());
        reader.reportError(error ? error->code : XML_ERR_DOCUMENT_END,
                           error ? fromXml(reinterpret_cast<const xmlChar*>(error->message))
                                 : u"The XML text is not well-formed.",
                           true);
    }
}

// Parses without handlers; a text that is not well-formed gets its fatal error reported.
bool isWellFormed(const std::string& utf8, ZtCXMLReader& reader) {
    xmlSAXHandler nothing{};
    nothing.initialized = XML_SAX2_MAGIC;
    runParser(&nothing, nullptr, utf8, reader);
    return !reader.fatal();
}

}  // namespace

int parseXml(XmlCallContext& context, ZtCXMLReader& reader, std::u16string_view xml,
             std::uint16_t version, std::string_view schemaFile,
             std::optional<std::u16string>* firstError) {
    const std::string utf8 = platform::utf16ToUtf8(xml);
    if (utf8.size() > static_cast<std::size_t>(INT32_MAX)) {
        reader.reportError(XML_ERR_NO_MEMORY, u"The XML text is too long.", true);
    } else {
        xmlSAXHandler handler{};
        handler.initialized = XML_SAX2_MAGIC;
        handler.startElementNs = onStartElement;
        handler.endElementNs = onEndElement;
        handler.characters = onCharacters;
        handler.serror = onValidityError;

        ValidatingReader& prepared = context.getValidatingReader(version, std::string(schemaFile));
        xmlSAXHandler* sax = &handler;
        void* userData = &reader;
        xmlSchemaSAXPlugStruct* plug = nullptr;
        // libxml2's validator leaks the state of elements left open when a document breaks off,
        // so a text is validated only once it is known to be well-formed.
        if (prepared.validation && !isWellFormed(utf8, reader)) {
            const int result = 0;
            reader.handOutError(firstError);
            return result;
        }
        if (prepared.validation) {
            xmlSchemaSetValidStructuredErrors(prepared.validation.get(), onValidityError, &reader);
            plug = xmlSchemaSAXPlug(prepared.validation.get(), &sax, &userData);
        }
        runParser(sax, userData, utf8, reader);
        if (plug != nullptr) xmlSchemaSAXUnplug(plug);
    }
    const int result = reader.firstError() ? 0 : 1;
    reader.handOutError(firstError);
    return result;
}

}  // namespace tarvik
