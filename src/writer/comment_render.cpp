#include "writer/comment_render.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "blocks/hd_block.h"
#include "findings/detail_format.h"
#include "findings/findings.h"
#include "platform/text.h"
#include "xml/comment_classes.h"
#include "xml/comment_parse.h"
#include "xml/xml_text.h"

namespace tarvik {

namespace {

constexpr std::uint32_t kCommentNotWritten = 128;

std::u16string_view view(const MF4Char* text) { return platform::textView(text); }

void addProperties(ZtCComment& comment, const MF4Property* properties, std::uint64_t count) {
    for (std::uint64_t i = 0; properties != nullptr && i < count; ++i)
        addProperty(comment, view(properties[i].name), properties[i].type, view(properties[i].value));
}

// The plain comment form: text and common properties; nothing when both are empty.
template <typename Comment>
bool fillPlain(Comment& comment, const MF4Char* text, const MF4Property* properties, std::uint64_t count) {
    comment.commentText = escapeXml(view(text));
    addProperties(comment, properties, count);
    return !isEmptyText(text) || (properties != nullptr && count != 0);
}

}  // namespace

void CommentRenderer::reportInvalid(std::u16string_view blockName, std::u16string_view linkName,
                                    const std::optional<std::u16string>& firstError, std::int64_t blockPosition) {
    // A new block has no position yet (0): comments are checked before anything is written.
    findings_.addFileError(kCommentNotWritten, formatDetail(kCommentNotWritten, {blockName, blockPosition, linkName,
                                                                                 std::u16string_view(firstError.value_or(u""))}));
}

const std::u16string* CommentRenderer::renderedBefore(const void* record, std::u16string_view blockName) const {
    const auto found = rendered_.find({record, blockName});
    return found != rendered_.end() ? &found->second : nullptr;
}

std::optional<std::u16string> CommentRenderer::validated(const void* record, const ZtCComment& comment,
                                                         std::u16string_view blockName, std::u16string_view linkName) {
    if (const std::u16string* xml = renderedBefore(record, blockName)) return *xml;
    std::optional<std::u16string> firstError;
    std::optional<std::u16string> xml = serializeComment(xml_, comment, version_, comment.schemaFile(), &firstError);
    if (!xml) reportInvalid(blockName, linkName, firstError);
    else rendered_.emplace(std::make_pair(record, blockName), *xml);
    return xml;
}

std::optional<std::u16string> CommentRenderer::header(const MF4Content& content) {
    ZtCHDComment comment;
    if (!fillPlain(comment, content.headerComment, content.headerProperties, content.headerPropertyCount))
        return std::u16string();
    return validated(&content, comment, u"HD Block", u"hd_md_comment");
}

std::optional<std::u16string> CommentRenderer::libraryHistory(const MF4Content& content, const MF4Char* text) {
    ZtCFHComment comment;
    comment.commentText = escapeXml(view(text));
    // The tool id is eight single-byte characters; a NUL ends it early.
    const char* id = content.programId;
    const std::size_t length = std::find(id, id + sizeof content.programId, '\0') - id;
    std::memcpy(comment.toolId, id, length);
    comment.toolVendor = escapeXml(view(content.toolVendor));
    comment.toolVersion = isEmptyText(content.toolVersion) ? u"0.0" : escapeXml(view(content.toolVersion));
    return validated(&content, comment, u"FH Block", u"fh_md_comment");
}

std::optional<std::u16string> CommentRenderer::group(const MF4ChannelGroup& group) {
    ZtCCGComment comment;
    if (!fillPlain(comment, group.comment, group.properties, group.propertyCount)) return std::u16string();
    return validated(&group, comment, u"CG Block", u"cg_md_comment");
}

std::optional<std::u16string> CommentRenderer::groupSource(const MF4ChannelGroup& group) {
    if (isEmptyText(group.sourceChannelNumber)) return std::u16string();
    ZtCSIComment comment;
    comment.channelNumber = escapeXml(view(group.sourceChannelNumber));
    return validated(&group, comment, u"SI Block", u"si_md_comment");
}

std::optional<std::u16string> CommentRenderer::channelComment(const void* record, const MF4Channel* channel,
                                                              double raster, const std::vector<MF4Property>& properties) {
    if (const std::u16string* rendered = renderedBefore(record, u"CN Block")) return *rendered;
    std::u16string xml;
    std::optional<std::u16string> firstError;
    const MF4Char* noText = nullptr;
    if (buildChannelComment(xml_, view(channel ? channel->comment : noText), view(channel ? channel->displayName : noText),
                            raster, properties.data(), properties.size(), view(channel ? channel->format : noText),
                            version_, xml, &firstError) != 0) {
        reportInvalid(u"CN Block", u"cn_md_comment", firstError);
        return std::nullopt;
    }
    rendered_.emplace(std::make_pair(record, std::u16string_view(u"CN Block")), xml);
    return xml;
}

std::optional<std::u16string> CommentRenderer::master(const MF4ChannelGroup& group) {
    if (group.masterRaster == 0) return std::u16string();
    return channelComment(&group, nullptr, group.masterRaster, {});
}

std::optional<std::u16string> CommentRenderer::channel(const MF4Channel& channel) {
    std::vector<MF4Property> properties;
    if (channel.properties != nullptr) properties.assign(channel.properties, channel.properties + channel.propertyCount);
    // A look-up table of two or more dimensions says how its axes are ordered.
    static MF4Char dimensionOrderName[] = u"ASAM.DimensionOrder";
    static MF4Char rowsFirst[] = u"XY";
    const bool lookupTable = channel.isLookup != 0 && channel.dimensionCount >= 2;
    if (lookupTable && dimensionOrder(channel.properties, channel.propertyCount) == 0)
        properties.push_back({sizeof(MF4Property), dimensionOrderName, 0, rowsFirst});
    const bool empty = isEmptyText(channel.comment) && isEmptyText(channel.displayName) && isEmptyText(channel.format) &&
                       properties.empty();
    if (empty) return std::u16string();
    return channelComment(&channel, &channel, 0, properties);
}

std::optional<std::u16string> CommentRenderer::conversion(const MF4Conversion& conversion) {
    ZtCCCComment comment;
    bool any = fillPlain(comment, conversion.comment, conversion.properties, conversion.propertyCount);
    if (!isEmptyText(conversion.format)) addProperty(comment, u"format", 0, view(conversion.format));
    // Types 7 and 8 keep their default as a reference of the block itself.
    const bool defaultInRefs = conversion.conversionType == 7 || conversion.conversionType == 8;
    if (!defaultInRefs && !isEmptyText(conversion.defaultText))
        addProperty(comment, u"default_value", 0, view(conversion.defaultText));
    any = any || comment.properties != nullptr;
    if (!any) return std::u16string();
    return validated(&conversion, comment, u"CC Block", u"cc_md_comment");
}

std::optional<std::u16string> CommentRenderer::attachment(const MF4Attachment& attachment) {
    ZtCATComment comment;
    if (!fillPlain(comment, attachment.comment, attachment.properties, attachment.propertyCount))
        return std::u16string();
    return validated(&attachment, comment, u"AT Block", u"at_md_comment");
}

std::optional<std::u16string> CommentRenderer::event(const MF4Event& event) {
    ZtCEVComment comment(version_);
    comment.eventType = static_cast<std::uint8_t>(event.eventType);
    comment.commentText = escapeXml(view(event.comment));
    comment.preTrigger = event.preTrigger;
    comment.postTrigger = event.postTrigger;
    comment.formulaSyntax = escapeXml(view(event.syntax));
    comment.timeout = event.timeout;
    comment.triggered = event.timeoutTriggered != 0;
    comment.typeProperty = event.typeProperty;
    comment.colorProperty = static_cast<std::int32_t>(event.colorProperty);
    comment.systemTime = event.systemTime;
    const bool carriesFields = event.eventType >= 3 && event.eventType <= 6;
    if (!carriesFields && isEmptyText(event.comment)) return std::u16string();
    return validated(&event, comment, u"EV Block", u"ev_md_comment");
}

std::optional<std::u16string> CommentRenderer::headerXml(std::u16string xml, const MF4Property* properties,
                                                         std::uint64_t count) {
    std::optional<std::u16string> firstError;
    for (std::uint64_t i = 0; properties != nullptr && i < count && !firstError; ++i) {
        const std::u16string_view type = propertyTypeText(properties[i].type);
        if (!type.empty() && !isSchemaValue(type, view(properties[i].value)))
            firstError = u"The value \"" + std::u16string(view(properties[i].value)) + u"\" of the property \"" +
                         std::u16string(view(properties[i].name)) + u"\" is not of type " + std::u16string(type) + u".";
    }
    const std::unique_ptr<ZtCHDComment> parsed = firstError ? nullptr : parseHDComment(xml_, xml, version_, &firstError);
    if (parsed && !firstError) return xml;
    reportInvalid(u"HD Block", u"hd_md_comment", firstError, kHeaderBlockPosition);
    return std::nullopt;
}

}  // namespace tarvik
