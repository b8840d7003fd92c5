// An XML comment held as a document tree, for changes that must keep everything else the
// comment says: elements are found through XPath with the prefix "ns" bound to the MDF
// namespace, created in that namespace when missing, and the whole is written back as text.
// No network access, no external entities, no validation while loading (the caller validates
// the result).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct _xmlDoc;
struct _xmlNode;
struct _xmlXPathContext;

namespace tarvik {

class CommentDocument {
public:
    using Element = _xmlNode*;

    // The comment `xml` when it is well-formed and its root is `rootName` in the MDF
    // namespace; otherwise (absent, plain text, another root) a new, empty comment of that
    // root. Nothing when memory runs out.
    static std::optional<CommentDocument> load(const std::optional<std::u16string>& xml, std::u16string_view rootName);

    Element root() const;
    // The first child element `name` of `parent`, or a new one placed first or last among
    // its children. Null when memory runs out.
    enum class Placement { First, Last };
    Element child(Element parent, std::u16string_view name, Placement placement);
    // The first "e" element of `parent` whose "name" attribute is `name`, or a new one
    // appended with that name. Null when memory runs out.
    Element property(Element parent, std::u16string_view name);

    // Replaces the element's content by `text` (escaped when written out). False when memory
    // runs out.
    bool setText(Element element, std::u16string_view text);
    // Sets the attribute, or removes it for an empty value. False when memory runs out.
    bool setAttribute(Element element, std::u16string_view name, std::u16string_view value);

    // The root element as XML text, without declaration; nothing when memory runs out.
    std::optional<std::u16string> text() const;

private:
    struct DocumentDeleter {
        void operator()(_xmlDoc* document) const;
    };
    struct XPathDeleter {
        void operator()(_xmlXPathContext* context) const;
    };
    CommentDocument() = default;
    // A new XPath context on the document, with "ns" bound to the MDF namespace.
    bool bindNamespace();
    // The first element that `expression` selects below `parent`, or null.
    Element select(Element parent, const char* expression);
    Element newElement(std::u16string_view name);

    std::unique_ptr<_xmlDoc, DocumentDeleter> document_;
    std::unique_ptr<_xmlXPathContext, XPathDeleter> xpath_;
};

}  // namespace tarvik
