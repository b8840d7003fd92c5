// What the parts of the layout writer share while they lay out one new file: the stream, the
// session that remembers positions for later calls, the comment renderer and the findings.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "TarvikMF4Access.h"
#include "blocks/stream.h"
#include "blocks/text_block.h"
#include "writer/comment_render.h"
#include "writer/write_session.h"

namespace tarvik {

class FindingList;

struct LayoutTarget {
    ZtCMF4Stream& stream;
    WriteSession& session;
    CommentRenderer& comments;
    FindingList& findings;
    std::u16string filePath;

    // A TX block holding `text`, with its position in `link`; nothing (link 0) for an empty text.
    int text(const MF4Char* text, std::int64_t& link) {
        link = 0;
        if (isEmptyText(text)) return platform::kOk;
        return writeTextBlock(stream, BlockKind::TX, text, link);
    }
    // An MD block holding a rendered comment; nothing for an empty one.
    int comment(const std::u16string& xml, std::int64_t& link) {
        link = 0;
        if (xml.empty()) return platform::kOk;
        return writeTextBlock(stream, BlockKind::MD, xml, link);
    }
    // The position of conversion `index`, or 0 (none, or a conversion not written).
    std::int64_t conversionLink(std::int64_t index) const {
        const auto& positions = session.conversionPositions;
        return index >= 0 && static_cast<std::uint64_t>(index) < positions.size() ? positions[index] : 0;
    }
    // Remembers a comment as written, for finishing to compare with the tree then.
    void keepComment(int order, std::int64_t blockPosition, int linkIndex, std::u16string written,
                     std::function<std::optional<std::u16string>(CommentRenderer&)> render) {
        session.comments.push_back({order, blockPosition + 24 + 8 * linkIndex, std::move(written), std::move(render)});
    }
};

// Finishing renders comments again in this order.
enum CommentOrder : int { kHeaderComment, kHistoryComment, kChannelComment, kGroupComment, kConversionComment };

// The parts of the layout, in the order they are written.
// Each list is written from its last element to its first; `first` receives the list's head.
int writeHistory(LayoutTarget& target, std::int64_t& first);
// Conversions referred to by others come first; positions are kept by index in the session.
int writeConversions(LayoutTarget& target);
int writeAttachments(LayoutTarget& target, std::int64_t& first);
int writeDataGroups(LayoutTarget& target, std::int64_t& first);

}  // namespace tarvik
