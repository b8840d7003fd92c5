// Putting a batch of a channel's values into the records of a group: typed, one template over the
// value kind. Values whose width is the channel's and that start on a byte are copied as they
// are; every other field is encoded as the readers decode it, its neighbours' bits kept.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "content/record_field.h"
#include "content/value_kinds.h"
#include "writer/value_range.h"
#include "writer/write_session.h"

namespace tarvik {

// The records of a batch: `count` records of `stride` bytes.
struct RecordBatch {
    std::uint8_t* bytes = nullptr;
    std::uint64_t count = 0;
    std::uint32_t stride = 0;
};

// Packs `values` (batch.count x elements of T, record by record) into the channel's field of
// every record of the batch.
template <NumericKind T>
void packNumbers(const ChannelSlot& slot, const T* values, RecordBatch batch) {
    const std::uint64_t elements = slot.elements;
    const std::uint32_t elementBytes = (slot.bitCount + 7) / 8;
    const bool direct = storedDirectly<T>(slot);
    std::uint8_t* record = batch.bytes + slot.byteOffset;
    if (direct && elements == 1) {
        const T* end = values + batch.count;
        for (; values != end; ++values, record += batch.stride) std::memcpy(record, values, sizeof(T));
        return;
    }
    for (std::uint64_t r = 0; r < batch.count; ++r, record += batch.stride) {
        std::uint8_t* field = record;
        for (std::uint64_t e = 0; e < elements; ++e, field += elementBytes, ++values) {
            if (direct) std::memcpy(field, values, sizeof(T));
            else encodeField<T>(field, 0, slot.bitOffset, slot.bitCount, false, *values);
        }
    }
}

// True when the channel's values are copied into its field as they are.
template <NumericKind T>
bool storedDirectly(const ChannelSlot& slot) {
    return slot.bitOffset == 0 && slot.bitCount / 8 * 8 == sizeof(T) * 8;
}

// A field copied whole into every record, one value of `Width` bytes each: its offset in the
// record and its values.
struct RowCopy {
    std::uint32_t offset;
    const std::uint8_t* values;
};

// Copies values first .. first + batch.count - 1 of every field of `copies` into the records of
// `batch`, record by record. Filling one record whole before the next keeps the stores in order
// through memory, which beats a field at a time (a store every stride bytes) several times over.
template <std::size_t Width>
void packRows(const std::vector<RowCopy>& copies, std::uint64_t first, RecordBatch batch) {
    if (copies.empty()) return;
    std::uint8_t* record = batch.bytes;
    for (std::uint64_t r = first; r < first + batch.count; ++r, record += batch.stride)
        for (const RowCopy& copy : copies) std::memcpy(record + copy.offset, copy.values + r * Width, Width);
}

// Copies `byteCount` raw bytes per element into the channel's field of every record.
inline void packBytes(const ChannelSlot& slot, const std::uint8_t* values, std::uint32_t byteCount, RecordBatch batch) {
    std::uint8_t* record = batch.bytes + slot.byteOffset;
    const std::uint64_t perRecord = std::uint64_t{byteCount} * slot.elements;
    for (std::uint64_t r = 0; r < batch.count; ++r, record += batch.stride, values += perRecord)
        std::memcpy(record, values, perRecord);
}

// The value at `index` of an array of numeric kind `valueType`, as a double (0 for other kinds).
inline double numberAt(const void* values, std::uint32_t valueType, std::uint64_t index) {
    double result = 0;
    withNumericKind(valueType, [&](auto kind) {
        using T = decltype(kind);
        result = static_cast<double>(static_cast<const T*>(values)[index]);
    });
    return result;
}

}  // namespace tarvik
