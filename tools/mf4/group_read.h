// ReadData for one data group: the master values and those of chosen channels over one range
// of records, into buffers that the tool sizes from the content tree and the library's count.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "TarvikMF4Access.h"
#include "physical_values.h"
#include "value_buffer.h"

namespace mf4tool {

// Which records a read covers: by index (mode 0) or by master time (mode 2).
struct RecordRange {
    std::uint32_t mode = MF4_READ_SAMPLE_BASED;
    std::uint64_t firstSample = 0;
    std::uint64_t sampleCount = 0;  // 0 together with firstSample 0: all records
    double startTime = 0;
    double endTime = 0;
    bool withNeighbours = false;
};

// The findings array of one library call, released with FreeErrors.
class CallFindings {
public:
    CallFindings() = default;
    ~CallFindings() { clear(); }
    CallFindings(const CallFindings&) = delete;
    CallFindings& operator=(const CallFindings&) = delete;

    void clear();
    MF4Error** array() { return &errors_; }
    std::uint64_t* count() { return &count_; }
    std::span<const MF4Error> items() const;

private:
    MF4Error* errors_ = nullptr;
    std::uint64_t count_ = 0;
};

class GroupRead {
public:
    // `channels` are positions in content.channels, all of group `group`. With `physical` each
    // read also converts the values of the master and channels that have a conversion.
    GroupRead(MF4Content& content, std::uint64_t group, std::span<const std::uint64_t> channels,
              bool physical);

    // Asks for the number of records in `range` without storing values; none when the call
    // failed (its findings say why).
    std::optional<std::uint64_t> countRecords(const RecordRange& range);
    // Reads at most `records` records of `range`; the library's result code.
    std::uint32_t read(const RecordRange& range, std::uint64_t records);

    // Findings of the last call.
    std::span<const MF4Error> findings() const { return findings_.items(); }
    // Records the last read stored, counted on the group's item.
    std::uint64_t recordsStored() const;

    // The group's master values, null when the group has no numeric master.
    const ValueBuffer* master() const;
    // Values of the i-th channel given to the constructor, null when the tool cannot size
    // them (the channel is then left out of every request).
    const ValueBuffer* channel(std::size_t i) const { return channels_[i]; }

    // The physical values of the last read: of the master, of the i-th channel; null for raw
    // reads and for values without a conversion.
    const PhysicalTexts* masterPhysical() const { return physical_.front().get(); }
    const PhysicalTexts* channelPhysical(std::size_t i) const;

private:
    std::uint32_t call(const RecordRange& range, std::uint64_t records);

    MF4Content& content_;
    std::uint64_t group_;
    std::vector<std::uint64_t> channelIndices_;  // only channels with a buffer
    std::deque<ValueBuffer> buffers_;             // [0] the group item's, then the channels'
    std::vector<const ValueBuffer*> channels_;
    std::vector<std::unique_ptr<PhysicalTexts>> physical_;  // per buffer, null when raw
    std::vector<std::size_t> bufferOf_;                     // channel given -> its buffer, 0: none
    CallFindings findings_;
};

}  // namespace mf4tool
