// Reading records by index range (mode 0) and by time range (mode 2): one value, or one array
// of element values, per record, the master values through the group item, and the positions
// of acquisition interruptions among the returned samples.
#pragma once

#include <cstdint>

#include "data/read_strategy.h"

namespace tarvik {

class ZtCSampleBasedStrategy : public ZtCReadDataStrategy {
public:
    using ZtCReadDataStrategy::ZtCReadDataStrategy;

protected:
    void ComputeRanges() override;
    void EndValue(ChannelEntry& entry, std::uint64_t record) override;
    void CountSample(ChannelEntry& entry, double time) override;
    void StoreValue(ChannelEntry* entry, std::uint32_t kind, std::uint64_t record) override;
    bool StoreElement(ChannelEntry& entry, std::uint32_t kind, std::uint64_t record, std::uint64_t i,
                      std::uint64_t j, std::uint64_t k) override;

    // Scalar numbers are copied straight from the window, one typed loop per entry and window.
    bool readsTyped(const ChannelEntry& entry) const override;
    void readTypedWindow(ChannelEntry& entry, const std::uint8_t* window, std::uint64_t windowFirst,
                         std::uint64_t first, std::uint64_t last) override;
};

class ZtCTimeBasedStrategy final : public ZtCSampleBasedStrategy {
public:
    using ZtCSampleBasedStrategy::ZtCSampleBasedStrategy;

protected:
    void ComputeRanges() override;
};

}  // namespace tarvik
