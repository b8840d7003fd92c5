// ReadData requests on the benchmarks' records (float_records.h), with their buffers and a check
// of what each delivered against the generated values: plain reads of the master and some
// channels, and down-sampled reads of channel 0.
#pragma once

#include <cstdint>
#include <vector>

#include "TarvikMF4Access.h"

namespace tarvik::bench {

// One ReadData request with its buffers: the group item (master) and `channels` channel items,
// room for `capacity` records each.
class ReadPlan {
public:
    ReadPlan(unsigned channels, std::uint64_t capacity);

    // Mode 0 from record `first` on, `count` records (0: all of them).
    void byIndex(std::uint64_t first, std::uint64_t count);
    // Mode 2 from master value `start` to `end`.
    void byTime(double start, double end);

    std::uint32_t run(MF4Content* content);

    // Every item stored `records` values, and they are the generated ones from `first` on.
    bool delivered(std::uint64_t first, std::uint64_t records) const;

private:
    struct Counters {
        std::uint64_t stored = 0, total = 0, eventsStored = 0, eventsTotal = 0;
    };
    std::uint32_t mode_ = MF4_READ_SAMPLE_BASED;
    std::vector<std::vector<double>> values_;
    std::vector<Counters> counters_;
    std::vector<MF4ReadItem> items_;
};

// One down-sampled read of channel 0 over all records in buckets, minimum and maximum per
// bucket: list A receives the values, list B (naming the same channel) where each lies, as a
// record index (by index) or a master value (by time).
class BucketRead {
public:
    // Buckets of `bucketSamples` records.
    static BucketRead byIndex(std::uint64_t records, std::uint64_t bucketSamples);
    // Buckets of `bucketTime` s from the first record's time on; `levelTime` as the item field.
    static BucketRead byTime(std::uint64_t records, double bucketTime, double levelTime);

    std::uint32_t run(MF4Content* content);

    // Both lists stored every value, and each bucket got exactly its minimum and maximum from
    // the generator, at ascending positions inside the bucket. Read from the raw records, each
    // position must be a record holding that very value. Read from a level, whole intervals
    // fall into the bucket of their start time (which may leave a bucket empty when a start
    // time lies a rounding error before a bucket boundary), and the positions are the level's.
    bool delivered() const;

    std::uint64_t buckets() const { return buckets_; }
    std::uint64_t valuesTotal() const { return counters_[0].total; }
    std::uint64_t valuesStored() const { return counters_[0].stored; }
    double usedInterval() const { return counters_[0].usedInterval; }
    bool byTime() const { return mode_ == MF4_READ_DOWNSAMPLED_TIME_BASED; }

    // The items point into the buffers, which a move keeps but a copy would not.
    BucketRead(BucketRead&&) = default;
    BucketRead(const BucketRead&) = delete;
    BucketRead& operator=(const BucketRead&) = delete;

private:
    struct Counters {
        std::uint64_t stored = 0, total = 0, eventsStored = 0, eventsTotal = 0;
        double usedInterval = -1;  // stays -1 where the read does not report it
    };
    struct Extremes;

    BucketRead(std::uint32_t mode, std::uint64_t records);

    void prepare();
    std::vector<Extremes> bucketExtremes(double interval) const;
    std::uint64_t bucketOfInterval(std::uint64_t record, double interval) const;
    double positionAt(std::uint64_t slot) const;
    std::uint64_t recordAt(std::uint64_t slot) const;
    std::uint64_t bucketOfPosition(double position) const;
    std::uint64_t bucketOfRecord(std::uint64_t record) const;

    std::uint32_t mode_;
    std::uint64_t records_;
    std::uint64_t bucketSamples_ = 1;
    double bucketTime_ = 1;
    std::vector<MF4ReadItem> items_;  // [0] list A, [1] list B
    std::vector<Counters> counters_;
    std::uint64_t buckets_ = 0;
    std::vector<double> values_;
    std::vector<std::uint64_t> positions_;  // record indices, or the bits of float64 times
};

}  // namespace tarvik::bench
