// The arrays of a content tree as spans: a pointer and its count, where a null pointer always
// reads as empty so that no report walks a count without storage behind it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace mf4tool {

template <typename T>
std::span<const T> itemsOf(const T* items, std::uint64_t count) {
    if (items == nullptr) return {};
    return {items, static_cast<std::size_t>(count)};
}

}  // namespace mf4tool
