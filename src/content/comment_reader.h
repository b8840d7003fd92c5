// Comments of blocks as the content tree wants them: a plain TX text as it is, or an MD
// comment parsed by the comment class of the block kind; a comment that does not parse or
// validate raises finding 129 naming the block, its position and the comment field.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "TarvikMF4Access.h"
#include "blocks/block_kind.h"
#include "blocks/text_block.h"
#include "xml/comment_classes.h"

namespace tarvik {

class FindingList;
class XmlCallContext;

// Where a comment comes from, for its finding.
struct CommentSource {
    BlockKind kind;              // the owner's block kind, selecting the comment class
    std::u16string_view block;   // "HD Block", ...
    std::int64_t position;
    std::u16string_view field;   // "hd_md_comment", ...
};

class CommentReader {
public:
    CommentReader(FindingList& findings, XmlCallContext& xml, std::uint16_t version)
        : findings_(findings), xml_(xml), version_(version) {}

    // The comment object of an MD comment (null for TX comments, absent links and texts that
    // are not XML). Raises 129 with the parser's first message when there is one.
    std::unique_ptr<ZtCComment> parse(const TextRef& comment, const CommentSource& source);

    // The comment text for a record: the TX element of a parsed MD comment, or the plain text
    // of a TX comment; null otherwise.
    static MF4Char* text(const TextRef& comment, const ZtCComment* parsed);

    std::uint16_t version() const { return version_; }

private:
    FindingList& findings_;
    XmlCallContext& xml_;
    std::uint16_t version_;
};

// The common properties of a parsed comment as host records (count 0 and null without any).
void hostProperties(const ZtCComment* comment, MF4Property*& properties, std::uint64_t& count);

// Takes the property `name` out of the comment and returns its value (null when absent).
MF4Char* takeProperty(ZtCComment* comment, std::u16string_view name);

}  // namespace tarvik
