// Memory handed to the host: zero-filled arrays and text copies from the C runtime allocator,
// released later by FreeContent. A failed allocation throws std::bad_alloc, which the builder
// turns into releasing the partly built tree.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "TarvikMF4Access.h"
#include "platform/text.h"

namespace tarvik {

// `count` zero-filled records, or null for 0.
template <typename T>
T* hostArray(std::uint64_t count) {
    if (count == 0) return nullptr;
    void* memory = std::calloc(count, sizeof(T));
    if (memory == nullptr) throw std::bad_alloc();
    return static_cast<T*>(memory);
}

inline MF4Char* hostText(std::u16string_view text) {
    MF4Char* copy = platform::newHostText(text);
    if (copy == nullptr) throw std::bad_alloc();
    return copy;
}

// Null for an absent text.
inline MF4Char* hostText(const std::optional<std::u16string>& text) {
    return text ? hostText(std::u16string_view(*text)) : nullptr;
}

}  // namespace tarvik
