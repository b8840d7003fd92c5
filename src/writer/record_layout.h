// Where each channel of a group to be written lies in the group's records: the master first,
// then the byte-sized channels, then the bit fields, packed one after the other unless the host
// placed them itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TarvikMF4Access.h"
#include "writer/write_session.h"

namespace tarvik {

// The MDF data type of a value type code (strings by their encoding: 8-bit strings are UTF-8
// unless the channel says ISO-8859-1).
std::uint8_t dataTypeOf(std::uint32_t valueType, std::uint32_t stringEncoding);

// Bits of a numeric value type code; 0 for strings and byte arrays.
std::uint32_t valueTypeBits(std::uint32_t valueType);

// The top-level channels of group `group` in the order they are written after the master:
// channels whose bit count is a multiple of 8 first, then the others, each in content order.
std::vector<std::uint64_t> channelOrder(const MF4Content& content, std::uint64_t group);

// The master channel's name: the acquisition name, made unique within the group with "(2)",
// "(3)" and so on when a channel already has it.
std::u16string masterName(const MF4Content& content, std::uint64_t group);

// Fills the group's slot and the slots of its channels (in `channels`, by content index):
// placement, data types, bit counts, element counts; returns the record's data bytes.
std::uint32_t layOutGroup(const MF4Content& content, std::uint64_t group, GroupSlot& slot,
                          std::vector<ChannelSlot>& channels);

}  // namespace tarvik
