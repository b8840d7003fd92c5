#include "writer/record_layout.h"

#include <algorithm>

#include "content/value_type.h"
#include "platform/text.h"

namespace tarvik {

namespace {

constexpr std::uint8_t kVariableLength = 1;
constexpr std::uint8_t kMaster = 2;

std::uint64_t elementCount(const MF4Channel& channel) {
    std::uint64_t product = 1;
    for (std::uint16_t d = 0; d < channel.dimensionCount && d < 3; ++d) product *= channel.dimensionSizes[d];
    return channel.dimensionCount == 0 ? 1 : product;
}

bool isStringType(std::uint32_t valueType) { return valueType == kVtLpStr || valueType == kVtLpWStr; }

// Type, data type, bit count and elements of a channel, before it is placed.
void describe(const MF4Channel& channel, ChannelSlot& slot) {
    slot.channel = &channel;
    slot.channelType = isStringType(channel.valueType) ? kVariableLength : static_cast<std::uint8_t>(channel.channelType);
    slot.dataType = dataTypeOf(channel.valueType, channel.stringEncoding);
    slot.bitCount = channel.bitCount;
    // A variable-length channel's record holds the 64-bit position of its value when the host
    // leaves the width open.
    if (slot.variableLength() && slot.bitCount == 0) slot.bitCount = 64;
    slot.elements = elementCount(channel);
    slot.valueType = slot.variableLength() ? channel.valueType
                                           : valueTypeOf(slot.dataType, slot.bitCount, slot.channelType);
    slot.members.assign(channel.children != nullptr ? channel.childCount : 0, ChannelSlot{});
    for (std::uint64_t i = 0; i < slot.members.size(); ++i) describe(channel.children[i], slot.members[i]);
}

bool placedOnWholeBytes(const ChannelSlot& slot) {
    return slot.channel != nullptr && (slot.channel->dimensionCount != 0 || !slot.members.empty());
}

// Places `slot` (and its members) from bit `position` on; returns the position after it.
std::uint64_t placeAutomatically(ChannelSlot& slot, std::uint64_t position) {
    if (placedOnWholeBytes(slot) && position % 8 != 0) position += 8 - position % 8;
    slot.byteOffset = static_cast<std::uint32_t>(position / 8);
    slot.bitOffset = static_cast<std::uint8_t>(position % 8);
    if (!slot.members.empty()) {
        // A structure spans its members; its own bit count, when larger, reserves more.
        std::uint64_t end = position;
        for (ChannelSlot& member : slot.members) end = placeAutomatically(member, end);
        end = std::max(end, position + slot.bitCount);
        if ((end - position) % 8 != 0) end += 8 - (end - position) % 8;
        slot.bitCount = static_cast<std::uint32_t>(end - position);
        return end;
    }
    if (slot.channel != nullptr && slot.channel->dimensionCount != 0)
        return position + std::uint64_t{(slot.bitCount + 7) / 8} * slot.elements * 8;
    return position + slot.bitCount;
}

// Places `slot` where the host says; returns the bit position after it (members included).
std::uint64_t placeAsGiven(ChannelSlot& slot) {
    slot.byteOffset = slot.channel->byteOffset;
    slot.bitOffset = slot.channel->bitOffset;
    std::uint64_t end = std::uint64_t{slot.byteOffset} * 8 + slot.bitOffset +
                        std::uint64_t{slot.elements > 1 ? (slot.bitCount + 7) / 8 * 8 : slot.bitCount} * slot.elements;
    for (ChannelSlot& member : slot.members) end = std::max(end, placeAsGiven(member));
    return end;
}

}  // namespace

std::uint8_t dataTypeOf(std::uint32_t valueType, std::uint32_t stringEncoding) {
    switch (valueType) {
    case kVtI1: case kVtI2: case kVtI4: case kVtI8: return 2;
    case kVtUI1: case kVtUI2: case kVtUI4: case kVtUI8: return 0;
    case kVtR4: case kVtR8: return 4;
    case kVtLpStr: return stringEncoding == 1 ? 6 : 7;
    case kVtLpWStr: return 8;
    default: return 10;
    }
}

std::uint32_t valueTypeBits(std::uint32_t valueType) {
    switch (valueType) {
    case kVtI1: case kVtUI1: return 8;
    case kVtI2: case kVtUI2: return 16;
    case kVtI4: case kVtUI4: case kVtR4: return 32;
    case kVtI8: case kVtUI8: case kVtR8: return 64;
    default: return 0;
    }
}

std::vector<std::uint64_t> channelOrder(const MF4Content& content, std::uint64_t group) {
    std::vector<std::uint64_t> whole, bits;
    for (std::uint64_t i = 0; i < content.channelCount; ++i) {
        const MF4Channel& channel = content.channels[i];
        if (channel.groupIndex != group) continue;
        (channel.bitCount % 8 == 0 ? whole : bits).push_back(i);
    }
    whole.insert(whole.end(), bits.begin(), bits.end());
    return whole;
}

std::u16string masterName(const MF4Content& content, std::uint64_t group) {
    const MF4Char* acquisition = content.groups[group].acquisitionName;
    const std::u16string base = acquisition ? std::u16string(acquisition) : std::u16string();
    auto taken = [&](const std::u16string& name) {
        for (std::uint64_t i = 0; i < content.channelCount; ++i) {
            const MF4Channel& channel = content.channels[i];
            if (channel.groupIndex == group && channel.name != nullptr && name == channel.name) return true;
        }
        return false;
    };
    std::u16string name = base;
    for (int suffix = 2; taken(name); ++suffix)
        name = base + u"(" + platform::utf8ToUtf16(std::to_string(suffix)) + u")";
    return name;
}

std::uint32_t layOutGroup(const MF4Content& content, std::uint64_t group, GroupSlot& slot,
                          std::vector<ChannelSlot>& channels) {
    const MF4ChannelGroup& source = content.groups[group];
    slot.group = &source;
    slot.withReduction = source.withReduction != 0;
    ChannelSlot& master = slot.master;
    master.channelType = kMaster;
    master.dataType = dataTypeOf(source.masterValueType, 0);
    const bool automatic = source.recordDataBytes == 0;
    master.bitCount = automatic ? valueTypeBits(source.masterValueType) : source.recordDataBytes * 8;
    master.byteOffset = automatic ? 0 : source.masterByteOffset;
    master.bitOffset = automatic ? 0 : source.masterBitOffset;
    master.valueType = valueTypeOf(master.dataType, master.bitCount, kMaster);

    slot.channels = channelOrder(content, group);
    std::uint64_t end = std::uint64_t{master.byteOffset} * 8 + master.bitOffset + master.bitCount;
    std::uint64_t position = master.bitCount;
    for (std::uint64_t index : slot.channels) {
        ChannelSlot& channel = channels[index];
        describe(content.channels[index], channel);
        if (automatic) position = placeAutomatically(channel, position);
        else end = std::max(end, placeAsGiven(channel));
    }
    const std::uint64_t bits = automatic ? position : end;
    slot.dataBytes = static_cast<std::uint32_t>((bits + 7) / 8);
    return slot.dataBytes;
}

}  // namespace tarvik
