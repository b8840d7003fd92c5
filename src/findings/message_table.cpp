#include "findings/message_table.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <climits>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>
#include <utility>

#include "platform/module_path.h"
#include "platform/text.h"

namespace tarvik {

namespace {

struct DocumentDeleter {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
struct XPathContextDeleter {
    void operator()(xmlXPathContext* context) const { xmlXPathFreeContext(context); }
};
struct XPathObjectDeleter {
    void operator()(xmlXPathObject* object) const { xmlXPathFreeObject(object); }
};
struct XmlCharDeleter {
    void operator()(xmlChar* text) const { xmlFree(text); }
};

using Document = std::unique_ptr<xmlDoc, DocumentDeleter>;
using XPathContext = std::unique_ptr<xmlXPathContext, XPathContextDeleter>;
using XPathObject = std::unique_ptr<xmlXPathObject, XPathObjectDeleter>;
using XmlText = std::unique_ptr<xmlChar, XmlCharDeleter>;

const char* asChars(const xmlChar* text) { return reinterpret_cast<const char*>(text); }
const xmlChar* asXmlChars(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

// The message file names its IDs as the C runtime's text-to-integer conversion reads them:
// leading white space, an optional sign, then as many decimal digits as there are. Anything
// else gives 0; values beyond the 32-bit range are clamped to it.
std::int32_t parseId(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    std::int64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        magnitude = magnitude * 10 + (*text - '0');
        if (magnitude > std::int64_t{INT_MAX} + 1) break;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<std::int32_t>(value);
}

// The first node of an XPath result (libxml2 returns node sets in document order), or null.
xmlNode* firstNode(const xmlXPathObject* result) {
    if (result == nullptr || result->nodesetval == nullptr || result->nodesetval->nodeNr == 0)
        return nullptr;
    return result->nodesetval->nodeTab[0];
}

}  // namespace

void MessageTable::loadFile(std::u16string_view path) {
    try {
        const std::string utf8Path = platform::utf16ToUtf8(path);
        // libxml2 reports some I/O failures (a directory, for instance) on stderr whatever the
        // parse options say; a library must not write into its host's output.
        std::error_code ignored;
        if (!std::filesystem::is_regular_file(utf8Path, ignored)) return;
        const Document doc(xmlReadFile(utf8Path.c_str(), nullptr,
                                       XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
        if (!doc) return;
        const XPathContext context(xmlXPathNewContext(doc.get()));
        if (!context) return;
        const XPathObject messages(xmlXPathEvalExpression(asXmlChars("//Message"), context.get()));
        if (!messages || messages->nodesetval == nullptr) return;

        for (int i = 0; i < messages->nodesetval->nodeNr; ++i) {
            xmlNode* message = messages->nodesetval->nodeTab[i];
            const XmlText id(xmlGetProp(message, asXmlChars("ID")));
            if (!id) continue;  // a message nobody can refer to
            context->node = message;
            const XPathObject found(
                xmlXPathEvalExpression(asXmlChars(".//MessageText"), context.get()));
            xmlNode* messageText = firstNode(found.get());
            if (messageText == nullptr) continue;
            const XmlText content(xmlNodeGetContent(messageText));
            texts_[parseId(asChars(id.get()))] =
                content ? platform::utf8ToUtf16(asChars(content.get())) : std::u16string();
        }
    } catch (const std::exception&) {
        // Out of memory part way: the entries read so far stay, as with any other problem.
    }
}

std::optional<std::u16string_view> MessageTable::text(std::int32_t id) const {
    const auto entry = texts_.find(id);
    if (entry == texts_.end()) return std::nullopt;
    return std::u16string_view(entry->second);
}

const MessageTable& MessageTable::process() {
    static MessageTable table;
    static std::once_flag loaded;
    // A failed load is not retried: the file will not appear in the middle of a process run,
    // and every later call would pay for looking again.
    std::call_once(loaded, [] {
        try {
            const std::u16string directory = platform::moduleDirectory();
            if (directory.empty()) return;
            table.loadFile(directory + u"/" + kMessageFileName);
        } catch (const std::exception&) {
            // Without the texts, findings still carry their numbers and details.
        }
    });
    return table;
}

std::u16string substituteDetails(std::u16string_view text,
                                 const std::optional<std::u16string>& detail1,
                                 const std::optional<std::u16string>& detail2) {
    struct Replacement {
        std::size_t position;
        const std::u16string* detail;
    };
    // "%1" and "%2" cannot overlap, so both positions can be taken from the original text and
    // the replacements applied in text order.
    Replacement first{text.find(u"%1"), detail1 ? &*detail1 : nullptr};
    Replacement second{text.find(u"%2"), detail2 ? &*detail2 : nullptr};
    if (second.position < first.position) std::swap(first, second);

    std::u16string result;
    std::size_t copied = 0;
    for (const Replacement& replacement : {first, second}) {
        if (replacement.position == std::u16string_view::npos || replacement.detail == nullptr)
            continue;
        result.append(text.substr(copied, replacement.position - copied));
        result.append(*replacement.detail);
        copied = replacement.position + 2;
    }
    result.append(text.substr(copied));
    return result;
}

}  // namespace tarvik
