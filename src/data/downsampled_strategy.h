// Down-sampled reading: the records of a range are cut into buckets, of a number of records
// (mode 1) or of a width in master time (mode 3), and each bucket of a numeric channel gives its
// minimum and maximum, its minimum, its maximum or its mean. Area A of an entry receives the
// values, area B where each occurred (record index or raw master value). The time-based variant
// reads the file's reduction records instead of the raw ones when a level is fine enough.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "data/bucket_accumulator.h"
#include "data/read_strategy.h"

namespace tarvik {

struct SrRecord;

// What both down-sampled strategies share: the bucket table, the accumulators, emission into
// both areas and the counting. The two variants differ in their ranges, in how a record finds
// its bucket and in what the position of a value is.
class ZtCDownSampledStrategy : public ZtCReadDataStrategy {
public:
    using ZtCReadDataStrategy::ZtCReadDataStrategy;

protected:
    // One entry of the bucket table.
    struct Bucketing {
        std::uint64_t bucketSamples = 0;   // mode 1
        double bucketWidth = 0;            // mode 3
        DownSampleMethod method = DownSampleMethod::MinMax;
        bool reducible = false;            // a numeric channel with a usable bucket size
        bool open = false;                 // the current bucket holds values not emitted yet
        // The bucket being accumulated. Kept as a double: a tiny width over a long recording
        // numbers buckets beyond any integer type, and each must still stay apart.
        double current = 0;
        std::uint64_t boundary = 0;        // mode 1: first record of the next bucket
        // Where the value and the maximum's candidate lie, from the channel's field: both at it
        // in raw records; at the mean, minimum or maximum part of a reduction record.
        std::int64_t valuePart = 0;
        std::int64_t candidatePart = 0;
        unsigned samplesEmitted = 0;       // by the emission under way, not counted yet
        double sampleTimes[2] = {};        // their times, for the event positions
        // std::vector<Accumulator<T, M>>, one per value of a record, made before the record loop
        // for the entry's kind T and the strategy's position kind M.
        std::shared_ptr<void> accumulators;
    };

    void Init(GroupJob& job) override;
    void Release() override;
    void BeginValue(ChannelEntry& entry, std::uint64_t record) override;
    void EndValue(ChannelEntry& entry, std::uint64_t record) override;
    void CountSample(ChannelEntry& entry, double time) override;
    // The master step (no entry) takes the record's position; an entry's value is accumulated.
    void StoreValue(ChannelEntry* entry, std::uint32_t kind, std::uint64_t record) override;
    bool StoreElement(ChannelEntry& entry, std::uint32_t kind, std::uint64_t record, std::uint64_t i,
                      std::uint64_t j, std::uint64_t k) override;
    // Scalar numbers without event positions are accumulated by one typed loop per window.
    bool readsTyped(const ChannelEntry& entry) const override;
    void readTypedWindow(ChannelEntry& entry, const std::uint8_t* window, std::uint64_t windowFirst,
                         std::uint64_t first, std::uint64_t last) override;
    // Buckets left open where the data ended early are emitted.
    // Makes the accumulators, then runs the record loop.
    int ReadRecords() override;
    void FinishEntries() override;

    // The bucket of the record being processed, from its index (mode 1) or time (mode 3).
    double bucketOf(const ChannelRange& range, Bucketing& bucketing, std::uint64_t record, double time) const;
    // Before the values of `record` (at position x): the entry's first bucket starts, or a
    // record of a later bucket emits the current one and starts the next.
    template <NumericKind T, NumericKind M>
    void beginBucketRecord(ChannelEntry& entry, std::uint64_t record, M x, double time);
    // One value (element `element` of the record) into its accumulator.
    template <NumericKind T, NumericKind M>
    void Accumulate(ChannelEntry& entry, std::uint64_t element, M x, T value, T candidate);
    // After the values of `record`: the entry's last record emits its last bucket.
    template <NumericKind T, NumericKind M>
    void endBucketRecord(ChannelEntry& entry, std::uint64_t record);
    // Emits the open bucket of every value of the entry, then counts the samples.
    template <NumericKind T, NumericKind M>
    void emitAll(ChannelEntry& entry);
    // Writes the reduced value(s) of element `element`'s bucket to both areas.
    template <NumericKind T, NumericKind M>
    void Emit(ChannelEntry& entry, std::uint64_t element);
    // Counts the samples the last emission produced, in both areas.
    void countEmitted(ChannelEntry& entry);
    // The place of a mean: the middle of the current bucket, as a position of kind M.
    template <NumericKind M>
    M bucketMiddle(const ChannelEntry& entry) const;
    // The time of a position, for the event positions of its sample.
    template <NumericKind M>
    double timeOfPosition(M x);
    template <NumericKind M>
    M currentPosition() const;
    template <NumericKind T, NumericKind M>
    void accumulateWindow(ChannelEntry& entry, const std::uint8_t* window, std::uint64_t windowFirst,
                          std::uint64_t first, std::uint64_t last);
    // Calls f(T{}, M{}) with the entry's value kind and the position kind.
    template <typename F>
    void withKinds(const ChannelEntry& entry, F&& f) const;
    // Reads the entry's value (and the maximum's candidate) at element offset `elementOffset`
    // of `record` and accumulates it at the current position.
    void accumulateField(ChannelEntry& entry, std::uint64_t element, std::uint64_t record,
                         std::int64_t elementOffset);

    bool timeBased_ = false;
    std::uint32_t positionKind_ = 0;  // kind M of the positions: u64 (mode 1) or the master's
    std::uint64_t positionBits_ = 0;  // the master step's position, as the bits of M
    double currentTime_ = 0;          // mode 3: the master step's time
    std::vector<Bucketing> buckets_;

private:
    void makeAccumulators();
};

// Mode 1: buckets of `bucketSamples` records from `firstSample` on; a value's position is its
// record index.
class ZtCDownSampledSampleBasedStrategy final : public ZtCDownSampledStrategy {
public:
    ZtCDownSampledSampleBasedStrategy(const HdRecord& header, ZtCMF4Stream& stream);

protected:
    void ComputeRanges() override;
};

// Mode 3: buckets of `bucketTime` from `startTime` on; a value's position is its raw master
// value. Reads a reduction level instead of the raw records when one is fine enough.
class ZtCDownSampledTimeBasedStrategy final : public ZtCDownSampledStrategy {
public:
    ZtCDownSampledTimeBasedStrategy(const HdRecord& header, ZtCMF4Stream& stream);

protected:
    // A reduction level that is fine enough, else the raw records.
    void openData() override;
    void ComputeRanges() override;

    // The reduction level to read instead of the raw records, or null.
    const SrRecord* levelToRead() const;
    // Tells every item of the job which level interval was read (0: raw records).
    void reportInterval(double interval) const;
    // Where the values lie in the reduction records: the part each entry's method reads.
    void readReductionParts(std::uint64_t dataBytes);
    // The records from the whole bucket that holds (or, with neighbours, precedes) the start
    // to the one that holds (or follows) the end.
    std::uint64_t firstRecord(const MF4ReadItem& item, ChannelRange& range, double tmin);
    std::uint64_t lastRecord(const MF4ReadItem& item, double tmax);
};

}  // namespace tarvik
