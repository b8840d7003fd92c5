// The read strategies: how the records of a data group are walked and what each value becomes.
// The base holds the record loop that every strategy shares; derived strategies decide the
// ranges and what is stored.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "blocks/cn_block.h"
#include "blocks/data_source.h"
#include "blocks/master_bounds.h"
#include "data/read_job.h"
#include "data/record_cache.h"
#include "data/value_decoding.h"

namespace tarvik {

class ZtCMF4Stream;
struct CnRecord;
struct HdRecord;
struct SrRecord;

class ZtCReadDataStrategy {
public:
    static constexpr std::uint64_t kNone = ~std::uint64_t{0};

    ZtCReadDataStrategy(const HdRecord& header, ZtCMF4Stream& stream);
    virtual ~ZtCReadDataStrategy() = default;

    // Init, openData, ComputeRanges, ReadRecords, Release. 0, 2 or 3.
    virtual int Read(GroupJob& job, std::uint64_t recordSize);

protected:
    virtual void Init(GroupJob& job);
    // Points the cache at the records to read: the data group's own records.
    virtual void openData() { openGroupRecords(); }
    virtual void Release() { ranges_.clear(); }
    virtual void ComputeRanges() {}
    virtual void BeginValue(ChannelEntry& entry, std::uint64_t record);
    virtual void EndValue(ChannelEntry&, std::uint64_t) {}
    virtual void CountSample(ChannelEntry&, double) {}
    virtual void StoreValue(ChannelEntry* entry, std::uint32_t kind, std::uint64_t record) {
        (void)entry, (void)kind, (void)record;
    }
    // Stores element (i, j, k) of an array entry's record; false when no later element of the
    // record can be stored.
    virtual bool StoreElement(ChannelEntry&, std::uint32_t, std::uint64_t, std::uint64_t, std::uint64_t,
                              std::uint64_t) {
        return true;
    }
    virtual bool IsInRange(std::uint64_t record, std::uint64_t entryIndex) const;
    // The record loop over the entries' ranges, window by window of the cache: entries that
    // readsTyped() approves go through readTypedWindow, the others record by record through
    // ProcessEntry (after the master step when the job has no master entry). Ends where the
    // data ends. 0, or 3 when cancelled.
    virtual int ReadRecords();
    // After a loop that was not cancelled: the work that needs all records seen.
    virtual void FinishEntries();

    // True for entries whose values one typed loop reads straight from the cache's window.
    virtual bool readsTyped(const ChannelEntry&) const { return false; }
    // Reads records first..last of `entry` from the window whose first record is `windowFirst`.
    virtual void readTypedWindow(ChannelEntry&, const std::uint8_t* /*window*/, std::uint64_t /*windowFirst*/,
                                 std::uint64_t /*first*/, std::uint64_t /*last*/) {}

    // Points the cache at `recordCount` records of `recordSize` bytes from `source`.
    void openRecords(DataSource source, std::uint64_t recordSize, std::uint64_t recordCount);
    // Points the cache at the data group's records.
    void openGroupRecords();
    // Points the cache at the reduction records of `level` of the job's channel group. A
    // reduction record holds the means, the minimums and the maximums of one interval, each laid
    // out as a record of the group, then the invalidation bytes when the level has them.
    void openLevel(const SrRecord& level);
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
    // The same from the bytes of a record of the data group.
    double masterTimeIn(const std::uint8_t* record) const;
    // The master times of the first and the last record (with records). The two usually lie in
    // blocks far apart: in a compressed chain both are decoded at once, one on a second thread.
    std::pair<double, double> firstAndLastTime();
    // Has the block that the known times place time t in decoded on the second thread, while
    // this thread searches for another time: the two ends of a range usually lie in different
    // blocks of a compressed chain. Does nothing when no known times enclose t.
    void prefetchNear(double t);
    // A raw master value as a time: the master's linear conversion applied, if it has one.
    double timeOfMasterValue(double raw) const { return raw * masterFactor_ + masterOffset_; }
    // A time as a raw master value: the inverse of that conversion.
    double masterValueOfTime(double time) const { return (time - masterOffset_) / masterFactor_; }

    enum class Bound { Lower, Upper };
    // The first record whose master time is >= t (Lower; kNone when every record lies before
    // t) or the last one <= t (Upper; record 0 when every record lies after t, so callers that
    // need "none" there compare its time). Searches the records held by the cache first.
    std::uint64_t FindRecord(double t, Bound bound);

    // One entry processed for one record: values of its channel (all elements of an array).
    void ProcessEntry(ChannelEntry& entry, std::uint64_t record);
    // How many events lie before time t, counting on from `cursor`.
    std::uint64_t eventPosition(std::uint64_t cursor, double time) const;
    // Notes the sample just counted in `entry`'s area A as the first after an acquisition
    // interruption when the events passed since its predecessor call for it.
    void markEvents(ChannelEntry& entry, double time);
    // True when `entry` asks for event positions and the data group has events.
    bool eventsWanted(const ChannelEntry& entry) const;

    const HdRecord& header_;
    ZtCMF4Stream& stream_;
    GroupJob* job_ = nullptr;
    const CnRecord* master_ = nullptr;
    std::uint64_t masterIndex_ = kNone;
    std::uint64_t masterEntry_ = kNone;
    std::uint32_t masterType_ = 0;
    // The master's linear conversion (time = raw x factor + offset); 1 and 0 without one.
    double masterFactor_ = 1;
    double masterOffset_ = 0;
    std::uint64_t recordCount_ = 0;
    std::uint64_t groupRecordSize_ = 0;  // bytes of one of the data group's records
    bool singleRecord_ = false;
    std::uint64_t loopLast_ = kNone;
    std::unique_ptr<RecordCache> cache_;
    std::vector<ChannelRange> ranges_;

private:
    using Range = MasterBounds::Range;
    // Ranges shorter than this are left to the bisection alone.
    static constexpr std::uint64_t kNarrowFrom = 64;

    std::uint64_t search(double t, Bound bound, Range range, bool restricted);
    // `range` shrunk by the blocks whose master times are known (unchanged when the cache is not
    // over the data group's records or none are known).
    Range knownRange(double t, Range range);
    // Remembers the master times at the ends of a block of the data group's records that the
    // cache's source has just decoded, `sectionStart` bytes into the records.
    void noteDecodedBlock(std::uint64_t sectionStart, const std::vector<std::uint8_t>& bytes);
    // Shrinks [lo, hi] to records around time t before the bisection: the first probe goes where
    // t lies between the times at lo and hi, then steps that double each time walk on until they
    // pass t. Recordings are mostly sampled evenly, so the probes stay within a block or two of
    // the answer instead of spreading over the whole chain, where each block of a compressed
    // chain costs a decode; uneven times cost at most about twice the bisection's probes. The
    // times at the range's ends are used where known. True, with `exact` set, when a probe
    // meets t exactly.
    bool narrow(double t, Range& range, std::uint64_t& exact);

    // The file's known block bounds while the cache is over the data group's records, else null.
    MasterBounds* bounds_ = nullptr;
    std::uint64_t notedBlocks_ = 0;  // blocks noted by this strategy so far
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
    return RecordField<T>(channel, extraOffset, cache_->recordSize()).read(bytes);
}

}  // namespace tarvik
