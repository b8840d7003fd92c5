// Taking blocks out of the event chain of a file in place: the link that pointed at a block
// is rewritten to skip it; the block itself stays where it is, no longer referenced.
#pragma once

#include <cstdint>
#include <unordered_set>
#include <vector>

namespace tarvik {

class ZtCMF4Stream;

// The link slot at the end of a chain, where new blocks join it, and the value it holds.
struct ChainTail {
    std::int64_t slot = 0;
    std::int64_t next = 0;
};

// Unlinks the blocks of `removed` from the chain of EV blocks at `order` (positions in chain
// order; the chain's head link lies at file offset `headSlot`). `tail` receives the next-link
// slot of the last block that stays, or `headSlot` when none does. kOk or kFailed.
int unlinkEvents(ZtCMF4Stream& stream, const std::vector<std::int64_t>& order, std::int64_t headSlot,
                 const std::unordered_set<std::int64_t>& removed, ChainTail& tail);

}  // namespace tarvik
