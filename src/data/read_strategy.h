// The read strategies: how the records of a data group are walked and what each value becomes.
// The base holds the record loop that every strategy shares; derived strategies decide the
// ranges and what is stored.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "blocks/cn_block.h"
#include "data/read_job.h"
#include "data/record_cache.h"
#include "data/value_decoding.h"

namespace tarvik {

class ZtCMF4Stream;
struct CnRecord;
struct HdRecord;

class ZtCReadDataStrategy {
public:
    static constexpr std::uint64_t kNone = ~std::uint64_t{0};

    ZtCReadDataStrategy(const HdRecord& header, ZtCMF4Stream& stream);
    virtual ~ZtCReadDataStrategy() = default;

    // Init, point the cache at the data, ComputeRanges, ReadRecords, Release. 0, 2 or 3.
    virtual int Read(GroupJob& job, std::uint64_t recordSize);

protected:
    virtual void Init(GroupJob& job);
    virtual void Release() { ranges_.clear(); }
    virtual void ComputeRanges() {}
    virtual void BeginRecord(std::uint64_t) {}
    virtual void EndRecord(std::uint64_t) {}
    virtual void BeginValue(ChannelEntry& entry, std::uint64_t record);
    virtual void EndValue(ChannelEntry&, std::uint64_t) {}
    virtual void CountSample(ChannelEntry&, double) {}
    virtual void StoreValue(ChannelEntry* entry, std::uint32_t kind, std::uint64_t record) {
        (void)entry, (void)kind, (void)record;
    }
    virtual void StoreElement(ChannelEntry&, std::uint32_t, std::uint64_t, std::uint64_t, std::uint64_t,
                              std::uint64_t) {}
    virtual bool IsInRange(std::uint64_t record, std::uint64_t entryIndex) const;
    virtual int ReadRecords();

    // The records the loop covers: from the smallest first to the largest last record of the
    // entries' ranges. False when there is nothing to read.
    bool loopRange(std::uint64_t& first, std::uint64_t& last) const;
    // The bytes of `record`, fetched through the cache; null when they cannot be read.
    const std::uint8_t* recordBytes(std::uint64_t record);
    // The `size` bytes of `channel`'s field in `record`; null when they cannot be read or do not
    // lie inside the record (a damaged channel).
    const std::uint8_t* fieldOf(const CnRecord& channel, std::uint64_t record, std::uint64_t size);
    // The raw value of `channel` in `record` (plus `extraOffset` bytes) as T.
    template <typename T>
    T GetValue(const CnRecord& channel, std::uint64_t record, std::int64_t extraOffset = 0);
    // The master channel's value in `record` as a time, its linear conversion applied.
    double MasterTime(std::uint64_t record);
    double MasterTimeOf(const CnRecord& channel, std::uint64_t record);

    // One entry processed for one record: values of its channel (all elements of an array).
    void ProcessEntry(ChannelEntry& entry, std::uint64_t record);
    // The VLSD values and the YX transposition, after the record loop.
    void FinishEntries();

    const HdRecord& header_;
    ZtCMF4Stream& stream_;
    GroupJob* job_ = nullptr;
    const CnRecord* master_ = nullptr;
    std::uint64_t masterIndex_ = kNone;
    std::uint64_t masterEntry_ = kNone;
    std::uint32_t masterType_ = 0;
    std::uint64_t recordCount_ = 0;
    bool singleRecord_ = false;
    std::uint64_t loopLast_ = kNone;
    std::unique_ptr<RecordCache> cache_;
    std::vector<ChannelRange> ranges_;
};

// One strategy per job, chosen by the request's mode; null for modes without one.
std::unique_ptr<ZtCReadDataStrategy> createStrategy(std::uint32_t mode, const HdRecord& header,
                                                    ZtCMF4Stream& stream);

template <typename T>
inline T ZtCReadDataStrategy::GetValue(const CnRecord& channel, std::uint64_t record, std::int64_t extraOffset) {
    // A virtual channel stores nothing: its value is the record index.
    if (channel.cn_type == 6) return static_cast<T>(record);
    const std::uint8_t* bytes = recordBytes(record);
    if (bytes == nullptr) return T{};
    const std::int64_t offset = static_cast<std::int64_t>(channel.cn_byte_offset) + extraOffset;
    // A field that does not lie inside the record (a damaged channel) reads as 0.
    const std::uint64_t fieldEnd = static_cast<std::uint64_t>(offset) + (channel.cn_bit_offset + std::uint64_t{channel.cn_bit_count} + 7) / 8;
    if (offset < 0 || fieldEnd > cache_->recordSize()) return T{};
    return decodeField<T>(bytes, static_cast<std::uint32_t>(offset), channel.cn_bit_offset, channel.cn_bit_count,
                          isBigEndian(channel.cn_data_type, channel.cn_type));
}

}  // namespace tarvik
