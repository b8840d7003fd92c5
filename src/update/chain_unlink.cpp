#include "update/chain_unlink.h"

#include "blocks/stream.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

constexpr std::int64_t kNextLink = 24;  // ev_ev_next, the first link of an EV block

}  // namespace

int unlinkEvents(ZtCMF4Stream& stream, const std::vector<std::int64_t>& order, std::int64_t headSlot,
                 const std::unordered_set<std::int64_t>& removed, ChainTail& tail) {
    // next[i] is what the next link of block i holds and `head` what the head link holds, kept
    // as the walk from the last block to the first rewrites them.
    const std::size_t count = order.size();
    std::vector<std::int64_t> next(count, 0);
    for (std::size_t i = 0; i + 1 < count; ++i) next[i] = order[i + 1];
    std::int64_t head = count != 0 ? order.front() : 0;
    for (std::size_t i = count; i-- > 0;) {
        if (removed.count(order[i]) == 0) continue;
        const std::int64_t slot = i == 0 ? headSlot : order[i - 1] + kNextLink;
        if (stream.writeAt(static_cast<std::uint64_t>(slot), next[i]) != kOk) return kFailed;
        (i == 0 ? head : next[i - 1]) = next[i];
    }
    tail = ChainTail{headSlot, head};
    for (std::size_t i = count; i-- > 0;) {
        if (removed.count(order[i]) == 0) {
            tail = ChainTail{order[i] + kNextLink, next[i]};
            break;
        }
    }
    return kOk;
}

}  // namespace tarvik
