#include "writer/finishing.h"

#include <algorithm>

#include "blocks/file_open.h"
#include "blocks/hd_block.h"
#include "blocks/id_block.h"
#include "blocks/stream.h"
#include "blocks/text_block.h"
#include "findings/findings.h"
#include "writer/comment_render.h"
#include "writer/data_chain.h"
#include "writer/event_writer.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

constexpr std::uint64_t kStartTimeOffset = kHeaderBlockPosition + 24 + 6 * 8;

// Comments the host changed since they were written go into new MD blocks at the end of the
// file; their links are rewritten and the old blocks stay unreferenced.
int rewriteChangedComments(ZtCMF4Stream& stream, WriteSession& session, CommentRenderer& comments) {
    std::stable_sort(session.comments.begin(), session.comments.end(),
                     [](const CommentSlot& a, const CommentSlot& b) { return a.order < b.order; });
    for (CommentSlot& slot : session.comments) {
        const std::optional<std::u16string> now = slot.render(comments);
        if (!now) return kFailed;
        if (*now == slot.written) continue;
        std::int64_t link = 0;
        if (!now->empty() && (stream.seekEnd() != kOk || writeTextBlock(stream, BlockKind::MD, *now, link) != kOk))
            return kFailed;
        if (stream.writeAt(static_cast<std::uint64_t>(slot.linkPosition), link) != kOk) return kFailed;
        slot.written = *now;
    }
    return kOk;
}

int trimChannelLists(ZtCMF4Stream& stream, const ChannelSlot& slot) {
    if (trimLastList(stream, slot.signalData) != kOk) return kFailed;
    for (const ChannelSlot& member : slot.members)
        if (trimChannelLists(stream, member) != kOk) return kFailed;
    return kOk;
}

int trimLists(ZtCMF4Stream& stream, const WriteSession& session) {
    for (const GroupSlot& group : session.groups)
        if (trimLastList(stream, group.records) != kOk) return kFailed;
    for (const ChannelSlot& channel : session.channels)
        if (trimChannelLists(stream, channel) != kOk) return kFailed;
    return kOk;
}

// The levels of every group reduced while it was written are closed, written and linked.
int completeReductions(ZtCMF4Stream& stream, WriteSession& session) {
    for (GroupSlot& group : session.groups)
        if (group.reduction && group.reduction->finish(stream, group.channelGroupPosition) != kOk) return kFailed;
    return kOk;
}

int settle(ZtCMF4Stream& stream, WriteSession& session, CommentRenderer& comments) {
    const MF4Content& content = *session.content;
    if (content.events != nullptr && content.eventCount != 0 &&
        replaceEvents(stream, session, comments, content.events, content.eventCount) != kOk)
        return kFailed;
    if (stream.writeAt(kStartTimeOffset, content.startTimeNs) != kOk) return kFailed;
    if (rewriteChangedComments(stream, session, comments) != kOk) return kFailed;
    if (completeReductions(stream, session) != kOk) return kFailed;
    if (trimLists(stream, session) != kOk) return kFailed;
    return stream.flush();
}

}  // namespace

int finishFile(ZtIFileHandle& file, WriteSession& session, XmlCallContext& xml, FindingList& findings) {
    CommentRenderer comments(xml, session.version, findings);
    ZtCMF4Stream stream(&file);
    if (openForWriting(stream, OpenMode::Update, findings) != kOk) return kFailed;
    const int settled = settle(stream, session, comments);
    stream.close();
    if (settled != kOk) return kFailed;

    // The id changes last, on its own, once everything else is on disk.
    ZtCMF4Stream marker(&file);
    if (openForWriting(marker, OpenMode::Update, findings) != kOk) return kFailed;
    const bool marked = markFileFinished(marker) == kOk && marker.flush() == kOk;
    marker.close();
    return marked ? kOk : kFailed;
}

}  // namespace tarvik
