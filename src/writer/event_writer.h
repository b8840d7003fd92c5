// Event blocks of a file being written: the host's events and the acquisition-interruption
// pairs of the batches, and where each new chain joins the file's event chain. Interruption
// pairs stay at the head of the chain in the order written; the host's events follow them.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "TarvikMF4Access.h"
#include "writer/write_session.h"

namespace tarvik {

class CommentRenderer;
class ZtCMF4Stream;

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
