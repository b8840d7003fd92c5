#include "xml/comment_document.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <climits>

#include "platform/text.h"
#include "xml/schema_resources.h"

namespace tarvik {

namespace {

// libxml2 takes and gives UTF-8 as unsigned characters.
const xmlChar* xml(const std::string& utf8) { return reinterpret_cast<const xmlChar*>(utf8.c_str()); }

std::string utf8(std::u16string_view text) { return platform::utf16ToUtf8(text); }

const std::string& mdfNamespace() {
    static const std::string uri = utf8(kMdfNamespace);
    return uri;
}

struct XPathResultDeleter {
    void operator()(xmlXPathObject* result) const { xmlXPathFreeObject(result); }
};

}  // namespace

void CommentDocument::DocumentDeleter::operator()(_xmlDoc* document) const { xmlFreeDoc(document); }
void CommentDocument::XPathDeleter::operator()(_xmlXPathContext* context) const { xmlXPathFreeContext(context); }

std::optional<CommentDocument> CommentDocument::load(const std::optional<std::u16string>& text, std::u16string_view rootName) {
    CommentDocument comment;
    const std::string root = utf8(rootName);
    if (text) {
        const std::string source = utf8(*text);
        if (source.size() < INT_MAX)
            comment.document_.reset(xmlReadMemory(source.data(), static_cast<int>(source.size()), nullptr, "UTF-8",
                                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    }
    if (comment.document_) {
        if (!comment.bindNamespace()) return std::nullopt;
        const std::string expression = "ns:" + root;
        if (comment.select(reinterpret_cast<Element>(comment.document_.get()), expression.c_str()) != nullptr)
            return comment;
    }
    // Nothing usable to keep: a new comment whose root declares the namespace for its children.
    comment.document_.reset(xmlNewDoc(BAD_CAST "1.0"));
    if (!comment.document_) return std::nullopt;
    Element element = xmlNewDocNode(comment.document_.get(), nullptr, xml(root), nullptr);
    if (element == nullptr) return std::nullopt;
    xmlDocSetRootElement(comment.document_.get(), element);
    xmlNs* ns = xmlNewNs(element, xml(mdfNamespace()), nullptr);
    if (ns == nullptr) return std::nullopt;
    xmlSetNs(element, ns);
    if (!comment.bindNamespace()) return std::nullopt;
    return comment;
}

bool CommentDocument::bindNamespace() {
    xpath_.reset(xmlXPathNewContext(document_.get()));
    return xpath_ && xmlXPathRegisterNs(xpath_.get(), BAD_CAST "ns", xml(mdfNamespace())) == 0;
}

CommentDocument::Element CommentDocument::root() const { return xmlDocGetRootElement(document_.get()); }

CommentDocument::Element CommentDocument::select(Element parent, const char* expression) {
    std::unique_ptr<xmlXPathObject, XPathResultDeleter> result(
        xmlXPathNodeEval(parent, BAD_CAST expression, xpath_.get()));
    if (!result || result->nodesetval == nullptr || result->nodesetval->nodeNr == 0) return nullptr;
    Element found = result->nodesetval->nodeTab[0];
    return found != nullptr && found->type == XML_ELEMENT_NODE ? found : nullptr;
}

CommentDocument::Element CommentDocument::newElement(std::u16string_view name) {
    xmlNs* ns = xmlSearchNsByHref(document_.get(), root(), xml(mdfNamespace()));
    return xmlNewDocNode(document_.get(), ns, xml(utf8(name)), nullptr);
}

CommentDocument::Element CommentDocument::child(Element parent, std::u16string_view name, Placement placement) {
    const std::string expression = "ns:" + utf8(name);
    if (Element found = select(parent, expression.c_str())) return found;
    Element element = newElement(name);
    if (element == nullptr) return nullptr;
    Element first = xmlFirstElementChild(parent);
    if (placement == Placement::First && first != nullptr) return xmlAddPrevSibling(first, element);
    return xmlAddChild(parent, element);
}

CommentDocument::Element CommentDocument::property(Element parent, std::u16string_view name) {
    // The name goes in as a variable: no text of the host's can change the expression.
    const std::string value = utf8(name);
    if (xmlXPathRegisterVariable(xpath_.get(), BAD_CAST "name", xmlXPathNewString(xml(value))) != 0) return nullptr;
    if (Element found = select(parent, "ns:e[@name=$name]")) return found;
    Element element = newElement(u"e");
    if (element == nullptr || xmlAddChild(parent, element) == nullptr) return nullptr;
    return setAttribute(element, u"name", name) ? element : nullptr;
}

bool CommentDocument::setText(Element element, std::u16string_view text) {
    xmlNodeSetContent(element, nullptr);
    if (text.empty()) return true;
    const std::string value = utf8(text);
    Element node = xmlNewDocTextLen(document_.get(), xml(value), static_cast<int>(value.size()));
    return node != nullptr && xmlAddChild(element, node) != nullptr;
}

bool CommentDocument::setAttribute(Element element, std::u16string_view name, std::u16string_view value) {
    const std::string attribute = utf8(name);
    xmlUnsetProp(element, xml(attribute));
    return value.empty() || xmlSetProp(element, xml(attribute), xml(utf8(value))) != nullptr;
}

std::optional<std::u16string> CommentDocument::text() const {
    std::unique_ptr<xmlBuffer, void (*)(xmlBuffer*)> buffer(xmlBufferCreate(), xmlBufferFree);
    if (!buffer || xmlNodeDump(buffer.get(), document_.get(), root(), 0, 0) < 0) return std::nullopt;
    const auto* content = reinterpret_cast<const char*>(xmlBufferContent(buffer.get()));
    return platform::utf8ToUtf16({content, static_cast<std::size_t>(xmlBufferLength(buffer.get()))});
}

}  // namespace tarvik
