// The value type code (an OLE Automation VARTYPE number) of a channel, from its data type, bit
// count and channel type.
#pragma once

#include <cstdint>

namespace tarvik {

inline constexpr std::uint32_t kVtI2 = 2, kVtI4 = 3, kVtR4 = 4, kVtR8 = 5, kVtI1 = 16, kVtUI1 = 17,
                               kVtUI2 = 18, kVtUI4 = 19, kVtI8 = 20, kVtUI8 = 21, kVtLpStr = 30,
                               kVtLpWStr = 31, kVtRecord = 36;

std::uint32_t valueTypeOf(std::uint8_t dataType, std::uint32_t bitCount, std::uint8_t channelType);

}  // namespace tarvik
