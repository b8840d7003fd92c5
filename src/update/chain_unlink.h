// Taking blocks out of the event chain of a file in place: the link that pointed at a block
// is rewritten to skip it; the block itself stays where it is, no longer referenced. The
// edit is planned first, so that blocks joining the chain can be written before any link of
// the chain changes.
#pragma once

#include <cstdint>
#include <unordered_set>
#include <vector>

namespace tarvik {

class ZtCMF4Stream;

// One link slot of the file and the value it gets.
struct LinkWrite {
    std::int64_t slot = 0;
    std::int64_t value = 0;
};

struct ChainUnlink {
    std::vector<LinkWrite> writes;
    // The next-link slot of the last block that stays (or the head link when none does) and
    // the value it holds once the writes are done: where new blocks join the chain.
    LinkWrite tail;
};

// The link writes that take the blocks of `removed` out of the chain of EV blocks at `order`
// (positions in chain order; the chain's head link lies at file offset `headSlot`).
ChainUnlink planUnlink(const std::vector<std::int64_t>& order, std::int64_t headSlot,
                       const std::unordered_set<std::int64_t>& removed);

// Writes each link in place. kOk or kFailed.
int writeLinks(ZtCMF4Stream& stream, const std::vector<LinkWrite>& writes);

}  // namespace tarvik
