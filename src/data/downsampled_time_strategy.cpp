// Mode 3: buckets of master time, read from the raw records or from a reduction level.
#include <algorithm>
#include <cmath>

#include "blocks/hd_block.h"
#include "data/downsampled_strategy.h"

namespace tarvik {

namespace {

// `s` moved by the fewest representable steps into bucket `bucket` of buckets of `width` from
// `start`: start + bucket x width can land a rounding step outside the bucket it names.
double intoBucket(double s, double start, double width, double bucket) {
    for (int step = 0; step < 64; ++step) {
        const double n = std::floor((s - start) / width);
        if (n < bucket) s = std::nextafter(s, s + 1.0);
        else if (n > bucket) s = std::nextafter(s, s - 1.0);
        else break;
    }
    return s;
}

// The first boundary at or after t of buckets of `width` from `start`; t when that boundary is
// beyond what a double holds.
double boundaryAfter(double t, double start, double width) {
    const double boundary = start + std::ceil((t - start) / width) * width;
    return std::isfinite(boundary) ? boundary : t;
}

}  // namespace

ZtCDownSampledTimeBasedStrategy::ZtCDownSampledTimeBasedStrategy(const HdRecord& header, ZtCMF4Stream& stream)
    : ZtCDownSampledStrategy(header, stream) {
    timeBased_ = true;
}

void ZtCDownSampledTimeBasedStrategy::openData() {
    if (const SrRecord* level = levelToRead()) {
        openLevel(*level);
        readReductionParts(job_->dataGroup->groups.front().cg_data_bytes);
        reportInterval(level->sr_interval);
    } else {
        openGroupRecords();
        reportInterval(0);
    }
}

const SrRecord* ZtCDownSampledTimeBasedStrategy::levelToRead() const {
    const auto& entries = job_->entries;
    if (entries.empty()) return nullptr;
    const MF4ReadItem& lead = entries.front().a.item;
    // The finest interval any item accepts: its bucket width, or less when it says so.
    double interval = lead.bucketTime;
    for (const ChannelEntry& entry : entries) {
        const MF4ReadItem& item = entry.a.item;
        if (item.levelTime >= 0 && item.levelTime <= item.bucketTime && item.levelTime < interval)
            interval = item.levelTime;
        // A virtual channel's values are its record indices, which a reduction does not keep.
        if (entry.channel->cn_type == 6) interval = 0;
        // One level serves one range only.
        if (item.startTime != lead.startTime || item.endTime != lead.endTime) return nullptr;
    }
    if (!(interval > 0)) return nullptr;
    const auto& levels = job_->dataGroup->groups.front().reductions;  // finest first
    for (auto level = levels.rbegin(); level != levels.rend(); ++level)
        if (level->sr_interval > 0 && level->sr_interval <= interval && level->sr_sync_type == 1) return &*level;
    return nullptr;
}

void ZtCDownSampledTimeBasedStrategy::reportInterval(double interval) const {
    for (const ChannelEntry& entry : job_->entries)
        for (const OutputArea* area : {&entry.a, &entry.b})
            if (area->item.usedInterval != nullptr) *area->item.usedInterval = interval;
}

void ZtCDownSampledTimeBasedStrategy::readReductionParts(std::uint64_t dataBytes) {
    const auto minimum = static_cast<std::int64_t>(dataBytes), maximum = 2 * minimum;
    for (Bucketing& bucketing : buckets_) {
        switch (bucketing.method) {
        case DownSampleMethod::Mean: bucketing.valuePart = bucketing.candidatePart = 0; break;
        case DownSampleMethod::Min: bucketing.valuePart = bucketing.candidatePart = minimum; break;
        case DownSampleMethod::Max: bucketing.valuePart = bucketing.candidatePart = maximum; break;
        case DownSampleMethod::MinMax:
            bucketing.valuePart = minimum;
            bucketing.candidatePart = maximum;
            break;
        }
    }
}

void ZtCDownSampledTimeBasedStrategy::ComputeRanges() {
    for (ChannelRange& range : ranges_) range.first = 1, range.last = 0;
    if (recordCount_ == 0 || master_ == nullptr) return;
    const bool previous = singleRecord_;
    singleRecord_ = true;
    const auto [tmin, tmax] = firstAndLastTime();
    const MF4ReadItem& lead = job_->entries.front().a.item;
    for (std::size_t e = 0; e < job_->entries.size(); ++e) {
        const MF4ReadItem& item = job_->entries[e].a.item;
        ChannelRange& range = ranges_[e];
        range.startTime = item.startTime;
        range.endTime = item.endTime;
        if (!buckets_[e].reducible) continue;
        if (e > 0 && buckets_[0].reducible && item.startTime == lead.startTime && item.endTime == lead.endTime &&
            item.bucketTime == lead.bucketTime && (item.withNeighbours != 0) == (lead.withNeighbours != 0)) {
            range.first = ranges_[0].first;
            range.last = ranges_[0].last;
            range.lastEventPosition = ranges_[0].lastEventPosition;
            continue;
        }
        const std::uint64_t first = firstRecord(item, range, tmin);
        const std::uint64_t last = lastRecord(item, tmax);
        if (first != kNone && last != kNone && first <= last) range.first = first, range.last = last;
    }
    singleRecord_ = previous;
}

std::uint64_t ZtCDownSampledTimeBasedStrategy::firstRecord(const MF4ReadItem& item, ChannelRange& range, double tmin) {
    const double start = item.startTime, width = item.bucketTime;
    if (tmin >= start) return 0;
    const bool neighbours = item.withNeighbours != 0;
    std::uint64_t first = FindRecord(neighbours ? intoBucket(start - width, start, width, -1) : start, Bound::Lower);
    if (neighbours && first != kNone && first > 0 && MasterTime(first) >= start) {
        // The bucket before the start holds no record (a record right at the start belongs to
        // the first bucket): the nearest earlier bucket that does is taken whole.
        const double bucket = std::floor((MasterTime(first - 1) - start) / width);
        first = FindRecord(intoBucket(start + bucket * width, start, width, bucket), Bound::Lower);
    }
    if (first != kNone && first > 0) range.lastEventPosition = eventPosition(0, MasterTime(first - 1));
    return first;
}

std::uint64_t ZtCDownSampledTimeBasedStrategy::lastRecord(const MF4ReadItem& item, double tmax) {
    const double start = item.startTime, width = item.bucketTime;
    if (item.endTime >= tmax) return recordCount_ - 1;
    // The bucket that holds the end is read whole (its boundary, when a tiny width makes that
    // too large a number, is the end itself).
    const double end = boundaryAfter(item.endTime, start, width);
    const bool neighbours = item.withNeighbours != 0;
    const double bound = std::min(neighbours ? end + width : end, tmax);
    std::uint64_t last = FindRecord(bound, Bound::Upper);
    // The search gives record 0 when every record lies after the bound.
    if (last != kNone && MasterTime(last) > bound) return kNone;
    if (neighbours && last != kNone && last < recordCount_ - 1 && !(MasterTime(last) > end)) {
        // The bucket after the end holds no record: the nearest later bucket that does is
        // taken whole.
        last = FindRecord(std::min(boundaryAfter(MasterTime(last + 1), start, width), tmax), Bound::Upper);
    }
    return last;
}

}  // namespace tarvik
