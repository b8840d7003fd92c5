#include "writer/event_writer.h"

#include "blocks/ev_block.h"
#include "blocks/stream.h"
#include "blocks/text_block.h"
#include "writer/comment_render.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

constexpr std::int64_t kRangeLink = 40;
constexpr std::uint8_t kSyncTime = 1;
constexpr std::uint8_t kCauseTool = 2;

int writeAt(ZtCMF4Stream& stream, std::int64_t position, std::int64_t value) {
    return stream.writeAt(static_cast<std::uint64_t>(position), value);
}

int writeEventBlock(ZtCMF4Stream& stream, EvRecord& record) {
    record.ev_scope_count = static_cast<std::uint32_t>(record.ev_scope.size());
    record.ev_sync_type = kSyncTime;
    record.ev_sync_base_value = 1;
    ZtCEVBlock block(record);
    return writeBlock(stream, block, record, "##EV");
}

// The scope links of a host event: the blocks its entries name that exist.
std::vector<std::int64_t> scopeLinks(const MF4Event& event, const ScopeLink& scopeLink) {
    std::vector<std::int64_t> links;
    if (event.scopeKind != 1 && event.scopeKind != 2) return links;
    for (std::uint32_t i = 0; event.scope != nullptr && i < event.scopeCount; ++i)
        if (const std::int64_t link = scopeLink(event.scopeKind, event.scope[i]); link != 0) links.push_back(link);
    return links;
}

// The blocks a writing session made for the tree's groups (kind 1) and channels (kind 2).
ScopeLink sessionScopes(const WriteSession& session) {
    return [&session](std::uint32_t kind, std::uint64_t index) -> std::int64_t {
        if (kind == 1) return index < session.groups.size() ? session.groups[index].channelGroupPosition : 0;
        return index < session.channels.size() ? session.channels[index].position : 0;
    };
}

}  // namespace

// Written last to first, so each next link names the block written just before. Range links
// are patched once every position is known.
int writeEventChain(ZtCMF4Stream& stream, CommentRenderer& comments, const MF4Event* events, std::uint64_t count,
                    std::int64_t next, const ScopeLink& scopeLink, WrittenChain& chain) {
    std::vector<std::int64_t> positions(count, 0);
    for (std::uint64_t i = count; i-- > 0;) {
        const MF4Event& event = events[i];
        EvRecord record;
        record.ev_ev_next = next;
        record.ev_type = static_cast<std::uint8_t>(event.eventType);
        record.ev_range_type = static_cast<std::uint8_t>(event.rangeType);
        record.ev_cause = static_cast<std::uint8_t>(event.cause);
        record.ev_flags = event.postProcessing ? 1 : 0;
        record.ev_sync_factor = event.syncValue;
        record.ev_scope = scopeLinks(event, scopeLink);
        const std::optional<std::u16string> comment = comments.event(event);
        if (!comment) return kFailed;
        if (stream.seekEnd() != kOk ||
            (!isEmptyText(event.name) && writeTextBlock(stream, BlockKind::TX, event.name, record.ev_tx_name) != kOk) ||
            (!comment->empty() && writeTextBlock(stream, BlockKind::MD, *comment, record.ev_md_comment) != kOk) ||
            writeEventBlock(stream, record) != kOk)
            return kFailed;
        positions[i] = next = record.position;
    }
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::int64_t begin = events[i].rangeBegin;
        if (begin >= 0 && static_cast<std::uint64_t>(begin) < count && static_cast<std::uint64_t>(begin) != i &&
            writeAt(stream, positions[i] + kRangeLink, positions[begin]) != kOk)
            return kFailed;
    }
    if (count != 0) chain = {positions.front(), positions.back()};
    return kOk;
}

namespace {

std::int64_t pairInsertionLink(const WriteSession& session) {
    return session.events.lastPairEnd != 0 ? session.events.lastPairEnd + kNextLinkOffset : kHeaderEventLinkOffset;
}

}  // namespace

int appendEvents(ZtCMF4Stream& stream, WriteSession& session, CommentRenderer& comments,
                 const MF4Event* events, std::uint64_t count) {
    if (count == 0 || events == nullptr) return kOk;
    WrittenChain chain;
    if (writeEventChain(stream, comments, events, count, 0, sessionScopes(session), chain) != kOk) return kFailed;
    const std::int64_t tail =
        session.events.lastEvent != 0 ? session.events.lastEvent + kNextLinkOffset : pairInsertionLink(session);
    if (writeAt(stream, tail, chain.first) != kOk) return kFailed;
    if (session.events.firstEvent == 0) session.events.firstEvent = chain.first;
    session.events.lastEvent = chain.last;
    return kOk;
}

int replaceEvents(ZtCMF4Stream& stream, WriteSession& session, CommentRenderer& comments,
                  const MF4Event* events, std::uint64_t count) {
    if (count == 0 || events == nullptr) return kOk;
    WrittenChain chain;
    if (writeEventChain(stream, comments, events, count, 0, sessionScopes(session), chain) != kOk ||
        writeAt(stream, pairInsertionLink(session), chain.first) != kOk)
        return kFailed;
    session.events.firstEvent = chain.first;
    session.events.lastEvent = chain.last;
    return kOk;
}

int insertInterruptions(ZtCMF4Stream& stream, WriteSession& session, std::int64_t groupPosition,
                        const std::vector<std::pair<double, double>>& times) {
    if (times.empty()) return kOk;
    std::int64_t next = session.events.firstEvent;
    std::int64_t lastEnd = 0, first = 0;
    for (std::size_t i = times.size(); i-- > 0;) {
        EvRecord end, begin;
        for (EvRecord* record : {&end, &begin}) {
            record->ev_type = kEvAcquisitionInterrupt;
            record->ev_cause = kCauseTool;
            record->ev_scope = {groupPosition};
        }
        end.ev_range_type = kEvRangeEnd;
        end.ev_sync_factor = times[i].second;
        end.ev_ev_next = next;
        if (stream.seekEnd() != kOk || writeEventBlock(stream, end) != kOk) return kFailed;
        begin.ev_range_type = kEvRangeBegin;
        begin.ev_sync_factor = times[i].first;
        begin.ev_ev_next = end.position;
        if (writeEventBlock(stream, begin) != kOk || writeAt(stream, end.position + kRangeLink, begin.position) != kOk)
            return kFailed;
        if (lastEnd == 0) lastEnd = end.position;
        next = first = begin.position;
    }
    if (writeAt(stream, pairInsertionLink(session), first) != kOk) return kFailed;
    session.events.lastPairEnd = lastEnd;
    return kOk;
}

}  // namespace tarvik
