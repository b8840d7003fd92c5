#include "update/bookmark_update.h"

#include <unordered_set>
#include <vector>

#include "blocks/hd_block.h"
#include "content/channel_order.h"
#include "update/chain_unlink.h"
#include "update/file_update.h"
#include "update/history_entry.h"
#include "update/wanted_bookmarks.h"
#include "writer/comment_render.h"
#include "writer/event_writer.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

// The blocks the tree's group (kind 1) and channel (kind 2) indices stand for in this file; the
// channels are put in order only when a bookmark names one.
ScopeLink fileScopes(const HdRecord& header) {
    return [&header, channels = std::vector<const CnRecord*>()](std::uint32_t kind, std::uint64_t index) mutable {
        const auto& groups = header.dataGroups;
        if (kind == 1) return index < groups.size() && !groups[index].groups.empty() ? groups[index].groups.front().position : 0;
        if (channels.empty()) channels = channelsInContentOrder(header);
        return index < channels.size() ? channels[index]->position : std::int64_t{0};
    };
}

}  // namespace

int updateBookmarks(FileUpdate& update, const MF4Event* bookmarks, std::uint64_t count, const MF4Char* historyText) {
    WantedBookmarks wanted(bookmarks, count);
    // The chain as the file holds it now: the tree may have been read without events.
    if (update.reloadEvents() != kOk) return kFailed;
    const MF4Content& content = update.content();
    std::unordered_set<std::int64_t> removed;
    for (std::uint64_t i = 0; i < content.eventCount; ++i) {
        const MF4Event& present = content.events[i];
        if (present.eventType == kEvMarker && !wanted.claim(present)) removed.insert(static_cast<std::int64_t>(present.position));
    }
    const std::vector<MF4Event> added = wanted.missing();

    CommentRenderer comments(update.xml(), update.version(), update.findings());
    for (const MF4Event& event : added)
        if (!comments.event(event)) return kFailed;
    const std::optional<std::u16string> history = comments.libraryHistory(content, historyText);
    if (!history || update.open() != kOk) return kFailed;

    // The new blocks go to the file before any link changes: a call that fails half-way leaves
    // the chain as it was, or with the markers unlinked and the new ones not yet linked.
    ZtCMF4Stream& stream = update.stream();
    const HdRecord& header = update.header();
    ChainUnlink plan = planUnlink(header.events.chainOrder, kHeaderEventLinkOffset, removed);
    if (!added.empty()) {
        WrittenChain chain;
        if (writeEventChain(stream, comments, added.data(), added.size(), plan.tail.value, fileScopes(header), chain) != kOk)
            return kFailed;
        plan.writes.push_back({plan.tail.slot, chain.first});
    }
    if (writeLinks(stream, plan.writes) != kOk || appendHistoryEntry(update, *history, historyText) != kOk ||
        update.flush() != kOk)
        return kFailed;
    return update.reloadEvents();
}

}  // namespace tarvik
