// The arrays of a content tree as spans: a pointer and its count, where a null pointer always
// reads as empty so that no report walks a count without storage behind it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "TarvikMF4Access.h"

namespace mf4tool {

template <typename T>
std::span<const T> itemsOf(const T* items, std::uint64_t count) {
    if (items == nullptr) return {};
    return {items, static_cast<std::size_t>(count)};
}

// The conversion a channel, master or axis names by its index, or null for -1 and for an index
// the tree does not hold.
inline const MF4Conversion* conversionOf(const MF4Content& content, std::int64_t index) {
    const auto conversions = itemsOf(content.conversions, content.conversionCount);
    if (index < 0 || static_cast<std::uint64_t>(index) >= conversions.size()) return nullptr;
    return &conversions[static_cast<std::size_t>(index)];
}

}  // namespace mf4tool
