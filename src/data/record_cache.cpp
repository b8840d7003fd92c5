#include "data/record_cache.h"

#include <algorithm>
#include <utility>

namespace tarvik {

RecordCache::RecordCache(ZtCMF4Stream& stream, DataSource source, std::uint64_t recordSize,
                         std::uint64_t recordCount)
    : stream_(&stream) {
    reset(std::move(source), recordSize, recordCount);
}

void RecordCache::reset(DataSource source, std::uint64_t recordSize, std::uint64_t recordCount) {
    source_ = std::move(source);
    recordSize_ = recordSize;
    first_ = kNone;
    held_ = 0;
    failed_ = false;
    if (recordSize == 0) {
        recordCount_ = 0;
        fail();
        return;
    }
    // Records past the last addressable byte cannot be read, whatever the count claims.
    recordCount_ = std::min(recordCount, kUnlimited / recordSize);
    const std::uint64_t sectionBytes = recordSize * recordCount_;
    windowBytes_ = sectionBytes < kWindowBytes ? sectionBytes : std::max(kWindowBytes, recordSize);
    // A window of the same size is reused as it is; its old bytes are never looked at.
    if (buffer_.size() > windowBytes_) std::vector<std::uint8_t>().swap(buffer_);
}

const std::uint8_t* RecordCache::refill(std::uint64_t record, std::uint64_t countHint) {
    if (failed_ || record >= recordCount_) return nullptr;
    const std::uint64_t fits = windowBytes_ / recordSize_;
    const std::uint64_t left = recordCount_ - record;
    // In place, a window is still no larger than a copied one: a loop that goes over it once
    // per channel then finds it in the processor's cache every time.
    const std::uint8_t* inPlace = nullptr;
    const std::uint64_t whole =
        source_.readInPlace(*stream_, record * recordSize_, std::min(fits, left) * recordSize_, inPlace) / recordSize_;
    if (whole > 0) {
        first_ = record;
        held_ = whole;
        window_ = inPlace;
        return window_;
    }
    std::uint64_t count = countHint == 0 ? 1 : std::min(countHint, fits);
    count = std::min(count, left);
    // The window grows only as records arrive: a record size or count from a damaged file must
    // not size memory that the data cannot fill.
    held_ = source_.readInto(*stream_, record * recordSize_, count * recordSize_, buffer_) / recordSize_;
    if (held_ == 0) {
        fail();
        return nullptr;
    }
    first_ = record;
    window_ = buffer_.data();
    return window_;
}

void RecordCache::fail() {
    failed_ = true;
    first_ = kNone;
    held_ = 0;
}

}  // namespace tarvik
