#include "content/value_type.h"

namespace tarvik {

namespace {

// The width class of a bit count: 0 up to 8 bits (and, oddly, beyond 64), 1 up to 16, 2 up
// to 32, 3 up to 64.
int widthClass(std::uint32_t bits) {
    if (bits <= 8 || bits > 64) return 0;
    if (bits <= 16) return 1;
    if (bits <= 32) return 2;
    return 3;
}

}  // namespace

std::uint32_t valueTypeOf(std::uint8_t dataType, std::uint32_t bitCount, std::uint8_t channelType) {
    switch (dataType) {
    case 0:
    case 1: {
        // Virtual data channels are record indices, always 64 bits wide.
        if (bitCount == 0 && channelType == 6) return kVtUI8;
        static constexpr std::uint32_t kUnsigned[] = {kVtUI1, kVtUI2, kVtUI4, kVtUI8};
        return kUnsigned[widthClass(bitCount)];
    }
    case 2:
    case 3: {
        static constexpr std::uint32_t kSigned[] = {kVtI1, kVtI2, kVtI4, kVtI8};
        return kSigned[widthClass(bitCount)];
    }
    case 4:
    case 5:
        return bitCount > 32 && bitCount <= 64 ? kVtR8 : kVtR4;
    case 6:
    case 7:
        return kVtLpStr;
    case 8:
    case 9:
        return kVtLpWStr;
    case 10:
        return kVtRecord;
    default:
        return kVtI4;
    }
}

}  // namespace tarvik
