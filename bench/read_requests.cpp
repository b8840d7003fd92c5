#include "read_requests.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "float_records.h"
#include "support/read_items.h"

namespace tarvik::bench {

using test::readData;

ReadPlan::ReadPlan(unsigned channels, std::uint64_t capacity) : values_(channels + 1), counters_(channels + 1) {
    for (auto& values : values_) values.resize(capacity);
    items_.resize(channels + 1);
    for (unsigned i = 0; i <= channels; ++i) {
        MF4ReadItem& item = items_[i];
        item.structSize = sizeof(MF4ReadItem);
        item.index = i == 0 ? 0 : i - 1;  // group 0; channels 0, 1, ...
        item.capacity = capacity;
        item.values = values_[i].data();
        item.valuesStored = &counters_[i].stored;
        item.valuesTotal = &counters_[i].total;
        item.eventsStored = &counters_[i].eventsStored;
        item.eventsTotal = &counters_[i].eventsTotal;
    }
}

void ReadPlan::byIndex(std::uint64_t first, std::uint64_t count) {
    mode_ = MF4_READ_SAMPLE_BASED;
    for (MF4ReadItem& item : items_) {
        item.firstSample = first;
        item.sampleCount = count;
    }
}

void ReadPlan::byTime(double start, double end) {
    mode_ = MF4_READ_TIME_BASED;
    for (MF4ReadItem& item : items_) {
        item.startTime = start;
        item.endTime = end;
    }
}

std::uint32_t ReadPlan::run(MF4Content* content) {
    return readData(content, mode_, items_.size() > 1 ? items_.data() + 1 : nullptr, items_.size() - 1,
                    items_.data(), 1);
}

bool ReadPlan::delivered(std::uint64_t first, std::uint64_t records) const {
    for (std::size_t i = 0; i < values_.size(); ++i) {
        if (counters_[i].stored != records) return false;
        for (const std::uint64_t r : {std::uint64_t{0}, records / 2, records - 1}) {
            const double expected = i == 0 ? timeOf(first + r) : valueOf(static_cast<unsigned>(i - 1), first + r);
            if (records > 0 && values_[i][r] != expected) return false;
        }
    }
    return true;
}

struct BucketRead::Extremes {
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();
};

BucketRead BucketRead::byIndex(std::uint64_t records, std::uint64_t bucketSamples) {
    BucketRead read(MF4_READ_DOWNSAMPLED_SAMPLE_BASED, records);
    read.bucketSamples_ = bucketSamples;
    for (MF4ReadItem& item : read.items_) {
        item.firstSample = 0;
        item.sampleCount = records;
        item.bucketSamples = bucketSamples;
    }
    read.prepare();
    return read;
}

BucketRead BucketRead::byTime(std::uint64_t records, double bucketTime, double levelTime) {
    BucketRead read(MF4_READ_DOWNSAMPLED_TIME_BASED, records);
    read.bucketTime_ = bucketTime;
    for (MF4ReadItem& item : read.items_) {
        item.startTime = timeOf(0);
        item.endTime = timeOf(records - 1);
        item.bucketTime = bucketTime;
        item.levelTime = levelTime;
    }
    read.prepare();
    return read;
}

BucketRead::BucketRead(std::uint32_t mode, std::uint64_t records)
    : mode_(mode), records_(records), items_(2), counters_(2) {}

std::uint32_t BucketRead::run(MF4Content* content) { return readData(content, mode_, &items_[0], 1, &items_[1], 1); }

bool BucketRead::delivered() const {
    const std::uint64_t stored = counters_[0].stored;
    if (stored != counters_[0].total || counters_[1].stored != stored || counters_[1].total != stored ||
        stored > values_.size())
        return false;
    const bool fromLevel = byTime() && usedInterval() > 0;
    const std::vector<Extremes> extremes = bucketExtremes(fromLevel ? usedInterval() : 0);
    std::vector<std::uint8_t> seen(buckets_, 0);  // bit 0 minimum, bit 1 maximum
    double lastPosition = -std::numeric_limits<double>::infinity();
    for (std::uint64_t slot = 0; slot < stored; ++slot) {
        const double position = positionAt(slot);
        const std::uint64_t bucket = bucketOfPosition(position);
        if (position < lastPosition || bucket >= buckets_) return false;
        lastPosition = position;
        const double value = values_[slot];
        if (!fromLevel && value != valueOf(0, recordAt(slot))) return false;
        const std::uint8_t extreme =
            (value == extremes[bucket].min ? 1 : 0) | (value == extremes[bucket].max ? 2 : 0);
        if (extreme == 0) return false;
        seen[bucket] |= extreme;
    }
    for (std::uint64_t bucket = 0; bucket < buckets_; ++bucket)
        if (extremes[bucket].min <= extremes[bucket].max && seen[bucket] != 3) return false;
    return true;
}

// Sizes the buffers for the buckets (two values each, and a little more, so that a read
// delivering too many shows as values stored short of the total) and links the items.
void BucketRead::prepare() {
    buckets_ = bucketOfRecord(records_ - 1) + 1;
    const std::size_t capacity = 2 * buckets_ + 2;
    values_.resize(capacity);
    positions_.resize(capacity);
    for (std::size_t i = 0; i < items_.size(); ++i) {
        MF4ReadItem& item = items_[i];
        item.structSize = sizeof(MF4ReadItem);
        item.index = 0;  // channel 0 in both lists
        item.method = MF4_DOWNSAMPLE_MIN_MAX;
        item.capacity = capacity;
        item.values = i == 0 ? static_cast<void*>(values_.data()) : positions_.data();
        item.valuesStored = &counters_[i].stored;
        item.valuesTotal = &counters_[i].total;
        item.eventsStored = &counters_[i].eventsStored;
        item.eventsTotal = &counters_[i].eventsTotal;
    }
    items_[0].usedInterval = &counters_[0].usedInterval;
}

// The minimum and maximum of channel 0 per bucket, of the raw records (`interval` 0) or of a
// level's intervals of `interval` s; an empty bucket keeps min > max.
std::vector<BucketRead::Extremes> BucketRead::bucketExtremes(double interval) const {
    std::vector<Extremes> extremes(buckets_);
    for (std::uint64_t record = 0; record < records_; ++record) {
        Extremes& bucket = extremes[interval > 0 ? bucketOfInterval(record, interval) : bucketOfRecord(record)];
        const double value = valueOf(0, record);
        bucket.min = std::min(bucket.min, value);
        bucket.max = std::max(bucket.max, value);
    }
    return extremes;
}

// A level's interval goes whole to the bucket of its start time. An interval of a whole number of
// records starts at the time of its first record; any other (a period cut to a power of two, for
// example) at a multiple of its length, a record on that boundary being its first.
std::uint64_t BucketRead::bucketOfInterval(std::uint64_t record, double interval) const {
    const double perInterval = interval / kPeriod;
    if (std::abs(perInterval - std::round(perInterval)) < 1e-6) {
        const auto granule = static_cast<std::uint64_t>(std::llround(perInterval));
        return bucketOfRecord(record / granule * granule);
    }
    // The tolerance keeps a record whose time is rounded just below a boundary in the interval
    // the boundary starts; records lie a whole period apart, far more than that.
    const double index = std::floor(timeOf(record) / interval + 1e-9);
    return bucketOfPosition(index * interval);
}

// List B's slot as a number: a record index (uint64) or a master value (float64).
double BucketRead::positionAt(std::uint64_t slot) const {
    if (mode_ == MF4_READ_DOWNSAMPLED_SAMPLE_BASED) return static_cast<double>(positions_[slot]);
    double time = 0;
    std::memcpy(&time, &positions_[slot], sizeof time);
    return time;
}

std::uint64_t BucketRead::recordAt(std::uint64_t slot) const {
    if (mode_ == MF4_READ_DOWNSAMPLED_SAMPLE_BASED) return positions_[slot];
    return static_cast<std::uint64_t>(std::llround(positionAt(slot) / kPeriod));
}

// A time on the boundary after the last bucket still belongs to the last bucket.
std::uint64_t BucketRead::bucketOfPosition(double position) const {
    if (mode_ == MF4_READ_DOWNSAMPLED_SAMPLE_BASED) return static_cast<std::uint64_t>(position) / bucketSamples_;
    const auto bucket = static_cast<std::uint64_t>((position - timeOf(0)) / bucketTime_);
    return buckets_ == 0 ? bucket : std::min<std::uint64_t>(bucket, buckets_ - 1);
}

std::uint64_t BucketRead::bucketOfRecord(std::uint64_t record) const {
    if (mode_ == MF4_READ_DOWNSAMPLED_SAMPLE_BASED) return record / bucketSamples_;
    return bucketOfPosition(timeOf(record));
}

}  // namespace tarvik::bench
