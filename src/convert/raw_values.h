// The raw value kinds a conversion takes: the numeric VARTYPE codes ReadData delivers. Each
// kind is visited as its C++ type, so that every loop over values is written once as a
// template and compiled per kind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace tarvik::convert {

// Calls visit(std::type_identity<T>{}) with the C++ type of VARTYPE `valueType`; false, without
// a call, for a code that is not a number.
template <typename Visit>
bool visitRawKind(std::uint32_t valueType, Visit&& visit) {
    switch (valueType) {
    case 16: visit(std::type_identity<std::int8_t>{}); return true;
    case 17: visit(std::type_identity<std::uint8_t>{}); return true;
    case 2: visit(std::type_identity<std::int16_t>{}); return true;
    case 18: visit(std::type_identity<std::uint16_t>{}); return true;
    case 3: visit(std::type_identity<std::int32_t>{}); return true;
    case 19: visit(std::type_identity<std::uint32_t>{}); return true;
    case 20: visit(std::type_identity<std::int64_t>{}); return true;
    case 21: visit(std::type_identity<std::uint64_t>{}); return true;
    case 4: visit(std::type_identity<float>{}); return true;
    case 5: visit(std::type_identity<double>{}); return true;
    default: return false;
    }
}

// Value `i` of a packed array of T. Hosts may hand in buffers at any address (a record slice,
// a byte array of their own), so values are copied out rather than read through a T pointer;
// the compiler turns the copy into a plain load.
template <typename T>
inline T rawAt(const unsigned char* raw, std::uint64_t i) {
    T value;
    std::memcpy(&value, raw + i * sizeof(T), sizeof(T));
    return value;
}

}  // namespace tarvik::convert
