// How the values of one read item lie in the host's buffer: the value type ReadData delivers,
// how many elements make up one record's value and how many bytes that takes, so that buffers
// can be sized from the content tree alone.
#pragma once

#include <cstdint>
#include <optional>

#include "TarvikMF4Access.h"

namespace mf4tool {

// VARTYPE codes of the values that are not plain numbers.
inline constexpr std::uint32_t kText8 = 30;
inline constexpr std::uint32_t kText16 = 31;
inline constexpr std::uint32_t kBytes = 36;

struct ValueLayout {
    std::uint32_t valueType = 0;
    bool isArray = false;             // shown as a list even when it has one element
    std::uint64_t elementsPerRecord = 1;
    std::uint64_t bytesPerElement = 0;  // in the buffer: a number, a string pointer, raw bytes
    bool latin1 = false;              // 8-bit strings stored as ISO-8859-1 (else UTF-8)

    bool isText() const { return valueType == kText8 || valueType == kText16; }
    bool isBytes() const { return valueType == kBytes; }
    std::uint64_t bytesPerRecord() const { return elementsPerRecord * bytesPerElement; }
};

// Size of one number of VARTYPE `valueType`; 0 for a type that is not a number.
std::uint32_t numberSize(std::uint32_t valueType);

// Layout of a channel's values; none for a channel whose values the tool cannot size up front
// (variable-length byte arrays, unknown value types, absurd dimensions).
std::optional<ValueLayout> channelLayout(const MF4Channel& channel);

// Layout of a group's master values; none when the group has no numeric master.
std::optional<ValueLayout> masterLayout(const MF4ChannelGroup& group);

}  // namespace mf4tool
