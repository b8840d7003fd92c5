// Mode 4: where a reduced minimum or maximum really occurred. Given the value and the time of
// the reduction record it was read from, the strategy descends through the finer reduction
// levels, each time to the record inside the coarser record's interval that holds the value,
// and finally to the raw record, whose master time it returns.
#pragma once

#include <cstdint>

#include "data/read_strategy.h"

namespace tarvik {

class ZtCOriginalTimestampStrategy final : public ZtCReadDataStrategy {
public:
    using ZtCReadDataStrategy::ZtCReadDataStrategy;

    // Every entry in order; the first that finds no time ends the job with 2 (3 when cancelled).
    int Read(GroupJob& job, std::uint64_t recordSize) override;

private:
    // The original time of `entry`'s reduced value into `time`; 0, 2 or 3.
    int findOriginalTime(const ChannelEntry& entry, double& time);
    // The entry's value `offset` bytes past its field in `record`, exactly.
    long double valueAt(const ChannelEntry& entry, std::uint64_t record, std::int64_t offset);
    // The first record of master times [t0, t1) whose value at `offset` equals `target`; kNone
    // when the interval holds none, kCancelled when the read was cancelled.
    std::uint64_t findInInterval(double t0, double t1, const ChannelEntry& entry, std::int64_t offset,
                                 long double target);

    static constexpr std::uint64_t kCancelled = kNone - 1;
};

}  // namespace tarvik
