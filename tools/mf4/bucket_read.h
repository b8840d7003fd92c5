// ReadData in its down-sampling modes for chosen channels of one data group: each channel's
// values reduced per bucket, and beside them where each value lies (the record index when the
// buckets count records, the master value as stored when they span master time).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <vector>

#include "TarvikMF4Access.h"
#include "group_read.h"
#include "physical_values.h"
#include "value_buffer.h"

namespace mf4tool {

// Which buckets a reduced read covers and how each bucket becomes values.
struct BucketRange {
    std::uint32_t mode = MF4_READ_DOWNSAMPLED_SAMPLE_BASED;  // or MF4_READ_DOWNSAMPLED_TIME_BASED
    std::uint32_t method = MF4_DOWNSAMPLE_MIN_MAX;
    // Buckets of records.
    std::uint64_t firstSample = 0;
    std::uint64_t sampleCount = 0;
    std::uint64_t bucketSamples = 0;
    // Buckets of master time.
    double startTime = 0;
    double endTime = 0;
    double bucketTime = 0;
    double levelTime = -1;
    bool withNeighbours = false;

    bool byTime() const { return mode == MF4_READ_DOWNSAMPLED_TIME_BASED; }
};

// Only numbers can be reduced, and buckets of time need the group's master values to say
// where a value lies; every other channel is left out of the requests.
class BucketRead {
public:
    // `channels` are positions in content.channels, all of group `group`. With `physical` each
    // read also converts the reduced values, and for buckets of time their master values.
    BucketRead(MF4Content& content, std::uint64_t group, std::span<const std::uint64_t> channels,
               const BucketRange& range, bool physical);

    // Asks how many values each channel's buckets give, storing none; false when the call
    // failed (its findings say why).
    bool countValues();
    // Reads at most `limit` samples per channel, sized by the last count; the library's result.
    std::uint32_t read(std::uint64_t limit);

    // Findings of the last call.
    std::span<const MF4Error> findings() const { return findings_.items(); }

    // The reduced values of the i-th channel given to the constructor and, sample for sample,
    // where they lie; null for a channel that cannot be reduced.
    const ValueBuffer* values(std::size_t i) const;
    const ValueBuffer* positions(std::size_t i) const;
    // Their physical values after the last read; null for raw values, for values without a
    // conversion and for record indices.
    const PhysicalTexts* valuesPhysical(std::size_t i) const;
    const PhysicalTexts* positionsPhysical(std::size_t i) const;

    // Interval of the coarsest reduction level the last read used instead of the raw
    // records; 0 when it read the records themselves.
    double usedInterval() const;

private:
    // A channel's two items: list A takes the values, list B their positions.
    struct Pair {
        Pair(std::uint64_t channel, const ValueLayout& valueLayout,
             const ValueLayout& positionLayout)
            : channel(channel), values(valueLayout), positions(positionLayout) {}

        std::uint64_t channel;
        ValueBuffer values;
        ValueBuffer positions;
        std::unique_ptr<PhysicalTexts> valuesPhysical;
        std::unique_ptr<PhysicalTexts> positionsPhysical;
        double valuesInterval = 0;
        double positionsInterval = 0;
    };

    std::uint32_t call(std::span<const std::uint64_t> samples);

    MF4Content& content_;
    BucketRange range_;
    std::deque<Pair> pairs_;              // only channels that can be reduced
    std::vector<const Pair*> channels_;   // per channel given, null when left out
    CallFindings findings_;
};

}  // namespace mf4tool
