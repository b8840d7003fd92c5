// The XML comments of the blocks a writer creates, rendered from the host's content records
// and validated against the schema of their kind before anything reaches the file.
#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "TarvikMF4Access.h"

namespace tarvik {

class FindingList;
class XmlCallContext;
class ZtCComment;

// Every operation gives the comment's XML, an empty text when the record has nothing to say
// (no block is written then), or nothing when the comment does not validate: finding 128 then
// names the block kind and its comment link. A renderer validates each record's comment once;
// one that must see the host's later changes (finishing) is a new renderer.
class CommentRenderer {
public:
    CommentRenderer(XmlCallContext& xml, std::uint16_t version, FindingList& findings)
        : xml_(xml), version_(version), findings_(findings) {}

    std::optional<std::u16string> header(const MF4Content& content);
    // The history entry the library adds for itself: `text` and the tool of `content`.
    std::optional<std::u16string> libraryHistory(const MF4Content& content, const MF4Char* text);
    std::optional<std::u16string> group(const MF4ChannelGroup& group);
    std::optional<std::u16string> groupSource(const MF4ChannelGroup& group);
    std::optional<std::u16string> master(const MF4ChannelGroup& group);
    std::optional<std::u16string> channel(const MF4Channel& channel);
    std::optional<std::u16string> conversion(const MF4Conversion& conversion);
    std::optional<std::u16string> attachment(const MF4Attachment& attachment);
    std::optional<std::u16string> event(const MF4Event& event);
    // A header comment composed as XML text elsewhere (an update edits the file's own from
    // `properties`), held to the same schema as one rendered from a tree; besides, each of the
    // properties must hold a value of its type, which the schema cannot check.
    std::optional<std::u16string> headerXml(std::u16string xml, const MF4Property* properties, std::uint64_t count);

    std::uint16_t version() const { return version_; }

private:
    // A CN comment through the one builder of channel comments; `channel` null for a master.
    std::optional<std::u16string> channelComment(const void* record, const MF4Channel* channel, double raster,
                                                 const std::vector<MF4Property>& properties);
    void reportInvalid(std::u16string_view blockName, std::u16string_view linkName,
                       const std::optional<std::u16string>& firstError, std::int64_t blockPosition = 0);
    std::optional<std::u16string> validated(const void* record, const ZtCComment& comment,
                                            std::u16string_view blockName, std::u16string_view linkName);
    // The comment of `record` for a block of that name as this renderer validated it before:
    // a new file's comments are checked before it is created and written after, from one
    // validation each.
    const std::u16string* renderedBefore(const void* record, std::u16string_view blockName) const;

    XmlCallContext& xml_;
    std::uint16_t version_;
    FindingList& findings_;
    std::map<std::pair<const void*, std::u16string_view>, std::u16string> rendered_;
};

// True when a text is absent or empty.
inline bool isEmptyText(const MF4Char* text) { return text == nullptr || text[0] == 0; }

}  // namespace tarvik
