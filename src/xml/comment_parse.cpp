#include "xml/comment_parse.h"

#include "platform/file.h"
#include "xml/schema_resources.h"
#include "xml/xml_reader.h"
#include "xml/xml_text.h"
#include "xml/xml_writer.h"

namespace tarvik {

namespace {

template <typename Comment>
std::unique_ptr<Comment> parseComment(XmlCallContext& context, std::u16string_view xml,
                                      std::uint16_t version, std::optional<std::u16string>* firstError,
                                      std::unique_ptr<Comment> comment) {
    ZtCXMLReader reader(*comment);
    parseXml(context, reader, xml, version, comment->schemaFile(), firstError);
    if (reader.fatal()) return nullptr;
    return comment;
}

// Receives the events of a parse that only checks a text.
class IgnoredElement final : public ZtIXMLElement {
public:
    ZtIXMLElement* startChild(std::u16string_view) override { return this; }
    ZtIXMLElement* endElement(std::u16string_view) override { return this; }
    void attribute(std::u16string_view, std::u16string_view, std::u16string_view) override {}
    void text(std::u16string_view, std::u16string_view) override {}
    void writeXml(ZtCXMLWriter&) const override {}
};

std::u16string_view rootElementOf(BlockKind kind) {
    switch (kind) {
    case BlockKind::HD: return u"HDcomment";
    case BlockKind::FH: return u"FHcomment";
    case BlockKind::EV: return u"EVcomment";
    case BlockKind::CG: return u"CGcomment";
    case BlockKind::CN: return u"CNcomment";
    case BlockKind::CC: return u"CCcomment";
    case BlockKind::AT: return u"ATcomment";
    case BlockKind::SI: return u"SIcomment";
    default: return {};
    }
}

}  // namespace

std::unique_ptr<ZtCHDComment> parseHDComment(XmlCallContext& context, std::u16string_view xml,
                                             std::uint16_t version, std::optional<std::u16string>* firstError) {
    return parseComment(context, xml, version, firstError, std::make_unique<ZtCHDComment>());
}

std::unique_ptr<ZtCFHComment> parseFHComment(XmlCallContext& context, std::u16string_view xml,
                                             std::uint16_t version, std::optional<std::u16string>* firstError) {
    return parseComment(context, xml, version, firstError, std::make_unique<ZtCFHComment>());
}

std::unique_ptr<ZtCEVComment> parseEVComment(XmlCallContext& context, std::u16string_view xml,
                                             std::uint16_t version, std::optional<std::u16string>* firstError) {
    return parseComment(context, xml, version, firstError, std::make_unique<ZtCEVComment>(version));
}

std::unique_ptr<ZtCCGComment> parseCGComment(XmlCallContext& context, std::u16string_view xml,
                                             std::uint16_t version, std::optional<std::u16string>* firstError) {
    return parseComment(context, xml, version, firstError, std::make_unique<ZtCCGComment>());
}

std::unique_ptr<ZtCCNComment> parseCNComment(XmlCallContext& context, std::u16string_view xml,
                                             std::uint16_t version, std::optional<std::u16string>* firstError) {
    return parseComment(context, xml, version, firstError, std::make_unique<ZtCCNComment>());
}

std::unique_ptr<ZtCCCComment> parseCCComment(XmlCallContext& context, std::u16string_view xml,
                                             std::uint16_t version, std::optional<std::u16string>* firstError) {
    return parseComment(context, xml, version, firstError, std::make_unique<ZtCCCComment>());
}

std::unique_ptr<ZtCATComment> parseATComment(XmlCallContext& context, std::u16string_view xml,
                                             std::uint16_t version, std::optional<std::u16string>* firstError) {
    return parseComment(context, xml, version, firstError, std::make_unique<ZtCATComment>());
}

std::unique_ptr<ZtCSIComment> parseSIComment(XmlCallContext& context, std::u16string_view xml,
                                             std::uint16_t version, std::optional<std::u16string>* firstError) {
    return parseComment(context, xml, version, firstError, std::make_unique<ZtCSIComment>());
}

std::unique_ptr<ZtCComment> parseCommentOfKind(XmlCallContext& context, BlockKind kind,
                                               std::u16string_view xml, std::uint16_t version,
                                               std::optional<std::u16string>* firstError) {
    switch (kind) {
    case BlockKind::HD: return parseHDComment(context, xml, version, firstError);
    case BlockKind::FH: return parseFHComment(context, xml, version, firstError);
    case BlockKind::EV: return parseEVComment(context, xml, version, firstError);
    case BlockKind::CG: return parseCGComment(context, xml, version, firstError);
    case BlockKind::CN: return parseCNComment(context, xml, version, firstError);
    case BlockKind::CC: return parseCCComment(context, xml, version, firstError);
    case BlockKind::AT: return parseATComment(context, xml, version, firstError);
    case BlockKind::SI: return parseSIComment(context, xml, version, firstError);
    default: return nullptr;
    }
}

std::optional<std::u16string> serializeComment(XmlCallContext& context, const ZtCComment& comment,
                                               std::uint16_t version, std::string_view schemaFile,
                                               std::optional<std::u16string>* firstError) {
    ZtCXMLWriter writer;
    comment.writeXml(writer);
    IgnoredElement ignored;
    ZtCXMLReader checker(ignored);
    if (parseXml(context, checker, writer.text(), version, schemaFile, firstError) != 1)
        return std::nullopt;
    return writer.text();
}

std::u16string normalizeCommentRoot(BlockKind kind, std::u16string_view xml) {
    const std::u16string_view root = rootElementOf(kind);
    if (root.empty()) return std::u16string(xml);
    const std::size_t start = xml.find(u"<" + std::u16string(root));
    if (start == std::u16string_view::npos) return std::u16string(xml);
    const std::size_t end = xml.find(u'>', start);
    if (end == std::u16string_view::npos) return std::u16string(xml);

    const std::u16string_view tag = xml.substr(start, end - start + 1);
    const std::u16string ns(kMdfNamespace);
    const bool inNamespace = tag.size() >= 34 && (tag.find(u"xmlns=\"" + ns + u"\"") != std::u16string_view::npos ||
                                                  tag.find(u"xmlns='" + ns + u"'") != std::u16string_view::npos);
    if (inNamespace) return std::u16string(xml);

    std::u16string rewritten(xml.substr(0, start));
    rewritten += u"<";
    rewritten += root;
    rewritten += u" xmlns=\"" + ns + u"\">";
    rewritten += xml.substr(end + 1);
    return rewritten;
}

void removeProperty(ZtCComment& comment, std::u16string_view name) {
    if (!comment.properties) return;
    auto& list = comment.properties->properties;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if ((*it)->name == name) {
            list.erase(it);
            return;
        }
    }
}

int dimensionOrder(const MF4Property* properties, std::uint64_t count) {
    if (properties == nullptr) return 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        const MF4Property& property = properties[i];
        if (property.name == nullptr || std::u16string_view(property.name) != u"ASAM.DimensionOrder") continue;
        if (property.value == nullptr) return 0;
        const std::u16string_view value(property.value);
        return value == u"XY" ? 1 : value == u"YX" ? 2 : 0;
    }
    return 0;
}

void addProperty(ZtCComment& comment, std::u16string_view name, std::uint32_t type,
                 std::u16string_view value) {
    comment.commonProperties().append(std::u16string(name), type, escapeXml(value));
}

int buildChannelComment(XmlCallContext& context, std::u16string_view text,
                        std::u16string_view displayName, double raster,
                        const MF4Property* properties, std::uint64_t count,
                        std::u16string_view displayFormat, std::uint16_t version,
                        std::u16string& xml, std::optional<std::u16string>* firstError) {
    ZtCCNComment comment;
    comment.commentText = escapeXml(text);
    comment.displayName = escapeXml(displayName);
    comment.raster = raster;
    for (std::uint64_t i = 0; properties != nullptr && i < count; ++i) {
        const MF4Property& property = properties[i];
        const std::u16string_view name = property.name ? std::u16string_view(property.name) : u"";
        const std::u16string_view value = property.value ? std::u16string_view(property.value) : u"";
        addProperty(comment, name, property.type, value);
    }
    if (!displayFormat.empty()) addProperty(comment, u"format", 0, displayFormat);
    std::optional<std::u16string> serialized =
        serializeComment(context, comment, version, comment.schemaFile(), firstError);
    if (!serialized) return platform::kFailed;
    xml = std::move(*serialized);
    return platform::kOk;
}

}  // namespace tarvik
