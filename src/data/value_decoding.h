// Array elements in a record and the bit packer that writes a value into a packed output slot,
// beside the field decoding of content/record_field.h that every numeric read goes through.
#pragma once

#include <algorithm>
#include <bit>
#include <concepts>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "blocks/ca_block.h"
#include "blocks/cn_block.h"
#include "content/record_field.h"
#include "content/value_kinds.h"

namespace tarvik {

// How many values one record holds of `channel`: 1 for a scalar, the element count of an array.
// Every element of an array lies at a byte of its own in the record, so an array that declares
// more elements than the record has bytes is damaged and holds none (0): that count must not
// size memory or a loop.
inline std::uint64_t elementsInRecord(const CnRecord& channel, std::uint64_t recordBytes) {
    if (!channel.array) return 1;
    const std::uint64_t count = channel.array->elementCount;
    return count <= recordBytes ? count : 0;
}

// Linear index of element (i, j, k) of an array of 1 to 3 dimensions, in the array's storage
// layout: row after row, or column after column when ca_flags bit 6 is set. Unused indices are
// ignored; other dimension counts are indexed by i alone.
inline std::uint64_t elementPosition(const CaRecord& array, std::uint64_t i, std::uint64_t j,
                                     std::uint64_t k) {
    const std::vector<std::uint64_t>& d = array.ca_dim_size;
    const bool columns = (array.ca_flags & kCaInverseLayout) != 0;
    switch (d.size()) {
    case 2: return columns ? j * d[0] + i : i * d[1] + j;
    case 3: return columns ? i + j * d[0] + k * d[0] * d[1] : (i * d[1] + j) * d[2] + k;
    default: return i;
    }
}

// The indices (i, j, k) of the element at linear position `position` of the array's storage
// layout: the inverse of elementPosition. Indices a dimension count does not use are all ones.
struct ElementIndices {
    std::uint64_t i = ~std::uint64_t{0}, j = ~std::uint64_t{0}, k = ~std::uint64_t{0};
};
inline ElementIndices elementAt(const CaRecord& array, std::uint64_t position) {
    const std::vector<std::uint64_t>& d = array.ca_dim_size;
    const bool columns = (array.ca_flags & kCaInverseLayout) != 0;
    ElementIndices at;
    if (d.size() == 2 && d[0] != 0 && d[1] != 0) {
        at.i = columns ? position % d[0] : position / d[1];
        at.j = columns ? position / d[0] : position % d[1];
    } else if (d.size() == 3 && d[0] != 0 && d[1] != 0 && d[2] != 0) {
        at.i = columns ? position % d[0] : position / (d[1] * d[2]);
        at.j = columns ? position / d[0] % d[1] : position / d[2] % d[1];
        at.k = columns ? position / (d[0] * d[1]) : position % d[2];
    } else {
        at.i = position;
    }
    return at;
}

// Byte offset of element (i, j, k) from the start of the array for an element step of `step`
// bytes. With a negative step the elements lie in reverse order, so the offset is taken from
// the last element's place: |step| * (element count - 1) is added.
inline std::int64_t elementByteOffset(const CaRecord& array, std::uint64_t i, std::uint64_t j,
                                      std::uint64_t k, std::int64_t step) {
    // Unsigned arithmetic wraps where a damaged array would overflow; the result is then
    // meaningless but defined, and the caller's bounds checks refuse it.
    const std::uint64_t position = elementPosition(array, i, j, k);
    std::uint64_t offset = position * static_cast<std::uint64_t>(step);
    if (step < 0) {
        std::uint64_t count = 1;
        for (std::size_t d = 0; d < array.ca_dim_size.size() && d < 3; ++d)
            count *= array.ca_dim_size[d];
        const std::uint64_t magnitude = 0 - static_cast<std::uint64_t>(step);
        if (count > 0) offset += magnitude * (count - 1);
    }
    return static_cast<std::int64_t>(offset);
}


}  // namespace tarvik
