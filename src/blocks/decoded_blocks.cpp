#include "blocks/decoded_blocks.h"

namespace tarvik {

DecodedBlocks::Bytes DecodedBlocks::find(std::int64_t link) {
    const std::lock_guard<std::mutex> guard(lock_);
    const auto found = index_.find(link);
    if (found == index_.end()) return nullptr;
    order_.splice(order_.begin(), order_, found->second);
    return found->second->second;
}

void DecodedBlocks::keep(std::int64_t link, Bytes bytes) {
    if (!bytes || bytes->size() > budget_) return;
    const std::lock_guard<std::mutex> guard(lock_);
    if (index_.count(link) != 0) return;  // another thread decoded it too
    while (!order_.empty() && held_ + bytes->size() > budget_) {
        held_ -= order_.back().second->size();
        index_.erase(order_.back().first);
        order_.pop_back();
    }
    held_ += bytes->size();
    order_.emplace_front(link, std::move(bytes));
    index_.emplace(link, order_.begin());
}

void DecodedBlocks::clear() {
    const std::lock_guard<std::mutex> guard(lock_);
    index_.clear();
    order_.clear();
    held_ = 0;
}

std::uint64_t DecodedBlocks::heldBytes() {
    const std::lock_guard<std::mutex> guard(lock_);
    return held_;
}

}  // namespace tarvik
