// Decoded DZ blocks of one open file, kept from read to read: a viewer that zooms, or a time
// search that probes the same blocks again, decodes nothing twice. The bytes kept are bounded;
// the block used longest ago goes first. Every thread reading the file shares them.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tarvik {

class DecodedBlocks {
public:
    static constexpr std::uint64_t kDefaultBudget = std::uint64_t{64} << 20;
    using Bytes = std::shared_ptr<const std::vector<std::uint8_t>>;

    explicit DecodedBlocks(std::uint64_t budget = kDefaultBudget) : budget_(budget) {}

    // The decoded bytes of the DZ block at `link`, or null when they are not kept.
    Bytes find(std::int64_t link);
    // Keeps the decoded bytes of the block at `link`, making room by forgetting the blocks used
    // longest ago; a block larger than the whole budget is not kept. A reader still holding a
    // forgotten block keeps it alive until it lets go. May throw std::bad_alloc.
    void keep(std::int64_t link, Bytes bytes);
    void clear();

    std::uint64_t heldBytes();

private:
    using Order = std::list<std::pair<std::int64_t, Bytes>>;  // most recently used first

    std::mutex lock_;
    Order order_;
    std::unordered_map<std::int64_t, Order::iterator> index_;
    std::uint64_t budget_;
    std::uint64_t held_ = 0;
};

}  // namespace tarvik
