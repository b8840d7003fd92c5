#include "update/chain_unlink.h"

#include "blocks/block_header.h"
#include "blocks/stream.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

ChainUnlink planUnlink(const std::vector<std::int64_t>& order, std::int64_t headSlot,
                       const std::unordered_set<std::int64_t>& removed) {
    // next[i] is what the next link of block i holds and `head` what the head link holds, kept
    // as the walk from the last block to the first plans their rewrites.
    const std::size_t count = order.size();
    std::vector<std::int64_t> next(count, 0);
    for (std::size_t i = 0; i + 1 < count; ++i) next[i] = order[i + 1];
    std::int64_t head = count != 0 ? order.front() : 0;
    ChainUnlink plan;
    for (std::size_t i = count; i-- > 0;) {
        if (removed.count(order[i]) == 0) continue;
        plan.writes.push_back({i == 0 ? headSlot : order[i - 1] + kNextLinkOffset, next[i]});
        (i == 0 ? head : next[i - 1]) = next[i];
    }
    plan.tail = {headSlot, head};
    for (std::size_t i = count; i-- > 0;) {
        if (removed.count(order[i]) == 0) {
            plan.tail = {order[i] + kNextLinkOffset, next[i]};
            break;
        }
    }
    return plan;
}

int writeLinks(ZtCMF4Stream& stream, const std::vector<LinkWrite>& writes) {
    for (const LinkWrite& write : writes)
        if (stream.writeAt(static_cast<std::uint64_t>(write.slot), write.value) != kOk) return kFailed;
    return kOk;
}

}  // namespace tarvik
