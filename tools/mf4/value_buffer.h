// The host side of one ReadData item: storage for a number of records laid out after a
// ValueLayout, the counters the library fills, and the release of the strings it allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "TarvikMF4Access.h"
#include "value_layout.h"

namespace mf4tool {

class ValueBuffer {
public:
    explicit ValueBuffer(const ValueLayout& layout) : layout_(layout) {}
    ~ValueBuffer() { releaseTexts(); }
    ValueBuffer(const ValueBuffer&) = delete;
    ValueBuffer& operator=(const ValueBuffer&) = delete;
    // Bound items point at the counters inside, so a buffer stays where it was made.
    ValueBuffer(ValueBuffer&&) = delete;
    ValueBuffer& operator=(ValueBuffer&&) = delete;

    const ValueLayout& layout() const { return layout_; }

    // Makes room for `records` records, releasing the texts of an earlier read.
    void reserve(std::uint64_t records);
    // Points `item`'s value slots and counters at this buffer (capacity as reserved).
    void bind(MF4ReadItem& item);

    // Records the last read delivered into the buffer, and in its whole range.
    std::uint64_t recordsStored() const;
    std::uint64_t recordsTotal() const { return total_; }

    // Element `element` of record `record` (both below their counts).
    const std::byte* number(std::uint64_t record, std::uint64_t element) const;
    std::string text(std::uint64_t record, std::uint64_t element) const;  // UTF-8
    std::span<const std::byte> bytes(std::uint64_t record, std::uint64_t element) const;

private:
    std::uint64_t slotOf(std::uint64_t record, std::uint64_t element) const {
        return record * layout_.elementsPerRecord + element;
    }
    void releaseTexts();

    ValueLayout layout_;
    std::uint64_t records_ = 0;
    std::vector<std::byte> storage_;   // numbers and raw bytes
    std::vector<void*> texts_;         // string pointers the library allocated
    std::uint64_t stored_ = 0;
    std::uint64_t total_ = 0;
    std::uint64_t eventsStored_ = 0;
    std::uint64_t eventsTotal_ = 0;
};

}  // namespace mf4tool
