// The ten numeric value kinds and the C++ type each stands for, so typed code is written once
// as a template and chosen by the kind at run time.
#pragma once

#include <concepts>
#include <cstdint>

#include "content/value_type.h"

namespace tarvik {

// The ten numeric value kinds: i8, u8, i16, u16, i32, u32, f32, i64, u64, f64.
template <typename T>
concept NumericKind = (std::integral<T> || std::floating_point<T>) && !std::same_as<T, bool> &&
                      (sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8);

// Calls `f(T{})` with the C++ type of a numeric VARTYPE; false for other kinds.
template <typename F>
bool withNumericKind(std::uint32_t kind, F&& f) {
    switch (kind) {
    case kVtI1: f(std::int8_t{}); return true;
    case kVtUI1: f(std::uint8_t{}); return true;
    case kVtI2: f(std::int16_t{}); return true;
    case kVtUI2: f(std::uint16_t{}); return true;
    case kVtI4: f(std::int32_t{}); return true;
    case kVtUI4: f(std::uint32_t{}); return true;
    case kVtR4: f(float{}); return true;
    case kVtI8: f(std::int64_t{}); return true;
    case kVtUI8: f(std::uint64_t{}); return true;
    case kVtR8: f(double{}); return true;
    default: return false;
    }
}

// True for the ten numeric kinds.
inline bool isNumericKind(std::uint32_t kind) {
    return withNumericKind(kind, [](auto) {});
}

}  // namespace tarvik
