#include "update/history_entry.h"

#include <cstdlib>

#include "blocks/hd_block.h"
#include "content/content_builder.h"
#include "platform/text.h"
#include "update/file_update.h"
#include "writer/layout_writer.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

int appendHistoryEntry(FileUpdate& update, const std::u16string& comment, const MF4Char* text) {
    MF4Content& content = update.content();
    MF4Char* historyText = nullptr;
    if (text != nullptr && (historyText = platform::newHostText(text)) == nullptr) return kFailed;

    HdRecord& hd = update.header();
    ZtCMF4Stream& stream = update.stream();
    FhRecord entry;
    const std::int64_t slot = hd.history.empty() ? kHeaderHistoryLinkOffset : hd.history.back().position + kNextLinkOffset;
    if (stream.seekEnd() != kOk || writeLibraryHistoryEntry(stream, comment, entry) != kOk ||
        stream.writeAt(static_cast<std::uint64_t>(slot), entry.position) != kOk) {
        std::free(historyText);
        return kFailed;
    }
    if (hd.history.empty()) hd.hd_fh_first = entry.position;
    else hd.history.back().fh_fh_next = entry.position;
    entry.comment = TextRef{BlockKind::MD, comment};
    hd.history.push_back(std::move(entry));

    std::free(content.historyComment);
    content.historyComment = historyText;
    rebuildHistory(content, hd, update.findings(), update.xml());
    return kOk;
}

}  // namespace tarvik
