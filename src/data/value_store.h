// Putting values into the caller's buffers: typed slots, bit-packed slots of byte arrays,
// strings copied onto the heap for the caller, and the work after the record loop (values of
// variable-length channels, YX look-up tables).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "blocks/ca_block.h"
#include "data/read_job.h"
#include "data/value_decoding.h"

namespace tarvik {

class ZtCMF4Stream;

// Stores one value of `entry`: into typed slot `slot` of its values, or, for members of a
// byte-array slot, bit-packed into record `recordOffset` at element `elementIndex`. Counts it
// as produced, and as stored when the slot lies within the capacity.
template <typename T>
void Store(ChannelEntry& entry, std::uint64_t recordOffset, std::uint64_t slot, std::uint64_t elementIndex, T value) {
    OutputArea& area = entry.a;
    ++area.produced;
    if (slot >= area.item.capacity || area.item.values == nullptr) return;
    if (entry.elementByteSize == 0) {
        static_cast<T*>(area.item.values)[slot] = value;
    } else {
        auto* record = static_cast<std::uint8_t*>(area.item.values) + entry.elementByteSize * recordOffset;
        const std::uint64_t bit = std::uint64_t{entry.channel->cn_bit_count} * elementIndex + entry.channel->cn_bit_offset;
        encodeField<T>(record, static_cast<std::uint32_t>(bit / 8), static_cast<std::uint32_t>(bit % 8),
                       entry.channel->cn_bit_count, false, value);
    }
    ++area.stored;
}

// The offset into the signal data that a variable-length channel's field holds: little-endian,
// its first 8 bytes at most.
inline std::uint64_t signalDataOffset(const std::uint8_t* field, std::uint32_t byteCount) {
    std::uint64_t offset = 0;
    std::memcpy(&offset, field, std::min<std::uint32_t>(byteCount, sizeof offset));
    return offset;
}

// An offset no signal data reaches: the value of a record whose field could not be read.
inline constexpr std::uint64_t kNoSignalValue = ~std::uint64_t{0};

// True when every selected index lies inside its dimension.
bool selectionInside(const CaRecord& array, const std::uint64_t* indices);

// A copy of the fixed-length string in `field` (the channel's bytes in a record), terminated,
// UTF-16BE swapped; malloc'd for the caller. Null when memory runs out.
void* copyFixedString(const CnRecord& channel, const std::uint8_t* field);

// After the record loop: reads the signal data of a VLSD entry and puts strings (as heap copies)
// or byte arrays (appended to byteData as length + bytes) where the record loop left offsets.
void readVariableLengthValues(ZtCMF4Stream& stream, ChannelEntry& entry);

// After the record loop: look-up tables whose comment says "YX" get each record's values
// transposed (element (i, j) moves to position i + j * d0, for every k).
void transposeYXValues(ChannelEntry& entry, const ChannelRange& range);

}  // namespace tarvik
