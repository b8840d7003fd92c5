#include "value_layout.h"

#include <algorithm>

namespace mf4tool {

namespace {

// Channel type of a variable-length signal: its byte values have no fixed size per record.
constexpr std::uint32_t kVariableLength = 1;
// One record's value may not take more than this in the buffer; larger sizes are broken trees.
constexpr std::uint64_t kMaxRecordBytes = std::uint64_t{1} << 32;

// Product of the dimension sizes, none when it is zero or beyond kMaxRecordBytes.
std::optional<std::uint64_t> elementCount(const MF4Channel& channel) {
    const auto dimensions = std::min<std::uint16_t>(channel.dimensionCount, 3);
    std::uint64_t count = 1;
    for (std::uint16_t d = 0; d < dimensions; ++d) {
        const std::uint64_t size = channel.dimensionSizes[d];
        if (size == 0 || size > kMaxRecordBytes / count) return std::nullopt;
        count *= size;
    }
    return count;
}

}  // namespace

std::uint32_t numberSize(std::uint32_t valueType) {
    switch (valueType) {
        case 16: case 17: return 1;
        case 2: case 18: return 2;
        case 3: case 4: case 19: return 4;
        case 5: case 20: case 21: return 8;
        default: return 0;
    }
}

std::optional<ValueLayout> channelLayout(const MF4Channel& channel) {
    const auto elements = elementCount(channel);
    if (!elements) return std::nullopt;
    ValueLayout layout;
    layout.valueType = channel.valueType;
    layout.isArray = channel.dimensionCount > 0;
    layout.elementsPerRecord = *elements;
    if (layout.isText()) {
        layout.bytesPerElement = sizeof(void*);
        layout.latin1 = channel.stringEncoding == 1;
    } else if (layout.isBytes()) {
        if (channel.channelType == kVariableLength) return std::nullopt;
        layout.bytesPerElement = (std::uint64_t{channel.bitCount} + 7) / 8;
    } else {
        layout.bytesPerElement = numberSize(channel.valueType);
    }
    if (layout.bytesPerElement == 0 || layout.bytesPerElement > kMaxRecordBytes / *elements)
        return std::nullopt;
    return layout;
}

std::optional<ValueLayout> masterLayout(const MF4ChannelGroup& group) {
    const std::uint32_t size = numberSize(group.masterValueType);
    if (size == 0) return std::nullopt;
    ValueLayout layout;
    layout.valueType = group.masterValueType;
    layout.bytesPerElement = size;
    return layout;
}

}  // namespace mf4tool
