// Event blocks of a file being written: the host's events and the acquisition-interruption
// pairs of the batches, and where each new chain joins the file's event chain. Interruption
// pairs stay at the head of the chain in the order written; the host's events follow them.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "TarvikMF4Access.h"
#include "writer/write_session.h"

namespace tarvik {

class CommentRenderer;
class ZtCMF4Stream;

// The block that entry `index` of a host event's scope names: a channel group (kind 1) or a
// channel (kind 2); 0 when there is no such block.
using ScopeLink = std::function<std::int64_t(std::uint32_t kind, std::uint64_t index)>;

// The first and last block of a chain of events just written.
struct WrittenChain {
    std::int64_t first = 0;
    std::int64_t last = 0;
};

// Writes `count` host events (names, comments through `comments`, scopes through `scopeLink`)
// at the stream's end, chained in their order; the last one's next link is `next`. A closing
// event's range link names its opening event among them. kOk or kFailed.
int writeEventChain(ZtCMF4Stream& stream, CommentRenderer& comments, const MF4Event* events, std::uint64_t count,
                    std::int64_t next, const ScopeLink& scopeLink, WrittenChain& chain);

// Appends `count` events behind the last event of the chain. kOk or kFailed.
int appendEvents(ZtCMF4Stream& stream, WriteSession& session, CommentRenderer& comments,
                 const MF4Event* events, std::uint64_t count);

// Writes `count` events anew and links them right behind the interruption pairs (or from the
// header); the events the chain had before are no longer linked. kOk or kFailed.
int replaceEvents(ZtCMF4Stream& stream, WriteSession& session, CommentRenderer& comments,
                  const MF4Event* events, std::uint64_t count);

// Writes one pair of acquisition-interruption events per (begin, end) time, scoped to the
// channel group at `groupPosition`, behind the last pair written before. kOk or kFailed.
int insertInterruptions(ZtCMF4Stream& stream, WriteSession& session, std::int64_t groupPosition,
                        const std::vector<std::pair<double, double>>& times);

}  // namespace tarvik
