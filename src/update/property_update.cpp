#include "update/property_update.h"

#include "blocks/hd_block.h"
#include "content/content_builder.h"
#include "findings/findings.h"
#include "update/comment_placement.h"
#include "update/file_update.h"
#include "update/header_comment.h"
#include "update/history_entry.h"
#include "writer/comment_render.h"
#include "writer/layout_writer.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

constexpr std::uint32_t kNoMemory = 144;

}  // namespace

int updateProperties(FileUpdate& update, const MF4Char* headerComment, const MF4Property* properties,
                     std::uint64_t count, const MF4Char* historyText) {
    HdRecord& header = update.header();
    MF4Content& content = update.content();
    std::optional<std::u16string> composed =
        composeHeaderComment(header.comment.text, headerComment, content.headerComment, properties, count);
    if (!composed) {
        update.findings().addFileError(kNoMemory);
        return kFailed;
    }
    CommentRenderer comments(update.xml(), update.version(), update.findings());
    const std::optional<std::u16string> xml = comments.headerXml(std::move(*composed), properties, count);
    const std::optional<std::u16string> history = comments.libraryHistory(content, historyText);
    if (!xml || !history || update.open() != kOk) return kFailed;

    ZtCMF4Stream& stream = update.stream();
    std::int64_t position = 0;
    const std::uint8_t zeros[kTrailingZeros] = {};
    if (placeHeaderComment(stream, header.hd_md_comment, *xml, position) != kOk || stream.seekEnd() != kOk ||
        stream.writeBytes(zeros, sizeof zeros) != kOk ||
        stream.writeAt(static_cast<std::uint64_t>(kHeaderCommentLinkOffset), position) != kOk)
        return kFailed;
    header.hd_md_comment = position;
    header.comment = TextRef{BlockKind::MD, *xml};
    rebuildHeaderComment(content, header, update.findings(), update.xml());
    if (appendHistoryEntry(update, *history, historyText) != kOk) return kFailed;
    return update.flush();
}

}  // namespace tarvik
