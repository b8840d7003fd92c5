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
    // The record loop, window by window: scalar numbers go through one typed loop per entry and
    // window; every other entry is processed record by record as the base does it.
    int ReadRecords() override;
    void EndValue(ChannelEntry& entry, std::uint64_t record) override;
    void CountSample(ChannelEntry& entry, double time) override;
    void StoreValue(ChannelEntry* entry, std::uint32_t kind, std::uint64_t record) override;
    void StoreElement(ChannelEntry& entry, std::uint32_t kind, std::uint64_t record, std::uint64_t i,
                      std::uint64_t j, std::uint64_t k) override;

    // True for entries whose values can be read by the typed window loop.
    bool readsScalarNumbers(const ChannelEntry& entry) const;
    // Reads records first..last of a scalar numeric entry from the window that starts at record
    // `windowFirst`, and counts them.
    void readScalarWindow(ChannelEntry& entry, const std::uint8_t* window, std::uint64_t windowFirst,
                          std::uint64_t first, std::uint64_t last);

    // The event cursor position for time t: how many events lie before it.
    std::uint64_t eventPosition(std::uint64_t cursor, double time) const;
};

class ZtCTimeBasedStrategy final : public ZtCSampleBasedStrategy {
public:
    using ZtCSampleBasedStrategy::ZtCSampleBasedStrategy;

protected:
    void ComputeRanges() override;

    enum class Bound { Lower, Upper };
    // The first record whose master value is >= t (Lower) or the last one <= t (Upper); kNone
    // when there is none. Searches the records held by the cache first, then all.
    std::uint64_t FindRecord(double t, Bound bound);
    std::uint64_t search(double t, Bound bound, std::uint64_t lo, std::uint64_t hi, bool restricted);
};

}  // namespace tarvik
