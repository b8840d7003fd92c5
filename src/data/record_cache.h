// The window of records a read job works on, so that every record inside it is a pointer away.
// Windows hold up to 1 MiB of records (or the whole section when it is smaller, or one record
// when records are larger). Where the records lie whole in one block, the window lies in the
// file's mapping or in the decoded bytes of a DZ block: nothing is copied, and a read of one
// channel touches only the memory of its own values. Elsewhere (a record cut by a block's
// border, a file that cannot be mapped) records are copied into a buffer whose memory grows
// only as far as the data present fills it. A read that yields nothing fails the cache for the
// rest of the job.
#pragma once

#include <cstdint>
#include <vector>

#include "blocks/data_source.h"

namespace tarvik {

class ZtCMF4Stream;

class RecordCache {
public:
    // Count hint: no idea how many records will follow.
    static constexpr std::uint64_t kUnlimited = ~std::uint64_t{0};
    // first/last of a cache that holds nothing.
    static constexpr std::uint64_t kNone = ~std::uint64_t{0};
    static constexpr std::uint64_t kWindowBytes = 0x100000;

    // A cache over the `recordCount` records of `recordSize` bytes that `source` holds. The
    // signal data of a variable-length channel can be read as records of 1 byte with a count
    // of kUnlimited: the cache then stops where the data ends.
    RecordCache(ZtCMF4Stream& stream, DataSource source, std::uint64_t recordSize,
                std::uint64_t recordCount);

    // Points the cache at other records (the signal data after the record loop); what it held
    // is dropped, a failure is forgotten.
    void reset(DataSource source, std::uint64_t recordSize, std::uint64_t recordCount);

    // The bytes of `record`, or null when the cache has failed or the record lies beyond the
    // record count. When the record is not held, a new window starts at it: in place, as many
    // records as lie whole in its block; else `countHint` records copied (1 for a single probe;
    // kUnlimited for as many as the window takes). Never more than the window or the records
    // left. The pointer stays valid until the next fetch that misses the window.
    const std::uint8_t* fetch(std::uint64_t record, std::uint64_t countHint = kUnlimited) {
        if (record - first_ < held_) [[likely]]
            return window_ + (record - first_) * recordSize_;
        return refill(record, countHint);
    }

    // Has the block that holds `record` decoded on a second thread meanwhile, when it is a
    // compressed block not decoded yet (see DataSource::prefetch).
    void prefetch(std::uint64_t record) {
        if (record < recordCount_) source_.prefetch(*stream_, record * recordSize_);
    }

    bool failed() const { return failed_; }
    bool holds(std::uint64_t record) const { return record - first_ < held_; }
    // Range of records held; kNone for both when nothing is.
    std::uint64_t firstHeld() const { return first_; }
    std::uint64_t lastHeld() const { return held_ == 0 ? kNone : first_ + held_ - 1; }

    std::uint64_t recordSize() const { return recordSize_; }
    std::uint64_t recordCount() const { return recordCount_; }
    std::uint64_t bufferSize() const { return buffer_.size(); }

private:
    const std::uint8_t* refill(std::uint64_t record, std::uint64_t countHint);
    void fail();

    ZtCMF4Stream* stream_;
    DataSource source_;
    std::uint64_t recordSize_ = 0;
    std::uint64_t recordCount_ = 0;
    std::uint64_t windowBytes_ = 0;  // the most one window may hold
    std::vector<std::uint8_t> buffer_;   // copied records, grown up to the window as they arrive
    const std::uint8_t* window_ = nullptr;  // the records held: in place, or in buffer_
    std::uint64_t first_ = kNone;
    std::uint64_t held_ = 0;  // records held from first_ on
    bool failed_ = false;
};

}  // namespace tarvik
