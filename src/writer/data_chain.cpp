#include "writer/data_chain.h"

#include <algorithm>
#include <vector>

#include "blocks/block_header.h"
#include "blocks/data_blocks.h"
#include "blocks/stream.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

// Offsets inside a DL of `capacity` links: the next link, data link i, the count and offsets.
std::uint64_t dataLinkAt(std::int64_t list, std::uint64_t i) { return static_cast<std::uint64_t>(list) + 32 + 8 * i; }
std::uint64_t countAt(std::int64_t list, std::uint64_t capacity) {
    return static_cast<std::uint64_t>(list) + 36 + 8 * capacity;
}
std::uint64_t offsetAt(std::int64_t list, std::uint64_t capacity, std::uint64_t i) {
    return static_cast<std::uint64_t>(list) + 40 + 8 * (capacity + i);
}

// Writes an empty DL with room for `capacity` links at the end of the file and links it from
// the chain's pending slot.
int startList(ZtCMF4Stream& stream, DataChain& chain, std::uint64_t capacity) {
    DlRecord list;
    list.dl_count = static_cast<std::uint32_t>(capacity);
    list.dl_data.assign(capacity, 0);
    list.dl_offset.assign(capacity, 0);
    ZtCDLBlock block(list);
    if (stream.seekEnd() != kOk || writeBlock(stream, block, list, "##DL") != kOk) return kFailed;
    if (stream.writeAt(static_cast<std::uint64_t>(chain.linkSlot), list.position) != kOk) return kFailed;
    chain.listPosition = list.position;
    chain.linkSlot = list.position + kNextLinkOffset;
    chain.capacity = capacity;
    chain.used = 0;
    return kOk;
}

}  // namespace

std::int64_t beginDataBlock(ZtCMF4Stream& stream, std::string_view id, std::uint64_t length) {
    DtRecord block;
    block.header.length = kBlockHeaderSize + length;
    std::copy(id.begin(), id.begin() + 4, block.header.id);
    if (stream.seekEnd() != kOk) return -1;
    block.position = static_cast<std::int64_t>(stream.padTo8());
    return writeHeader(stream, block.header) == kOk ? block.position : -1;
}

int linkDataBlock(ZtCMF4Stream& stream, DataChain& chain, std::int64_t position, std::uint64_t length) {
    if (chain.used == chain.capacity) {
        const std::uint64_t capacity =
            chain.capacity == 0 ? kFirstListCapacity : std::min(2 * chain.capacity, kLargestListCapacity);
        if (startList(stream, chain, capacity) != kOk) return kFailed;
    }
    // The offset first: the link is what makes the block part of the data.
    if (stream.writeAt(offsetAt(chain.listPosition, chain.capacity, chain.used), chain.dataLength) != kOk ||
        stream.writeAt(dataLinkAt(chain.listPosition, chain.used), position) != kOk)
        return kFailed;
    ++chain.used;
    ++chain.blockCount;
    chain.dataLength += length;
    return kOk;
}

int appendDataBlock(ZtCMF4Stream& stream, DataChain& chain, std::string_view id, const void* data,
                    std::uint64_t length) {
    const std::int64_t position = beginDataBlock(stream, id, length);
    if (position < 0 || stream.writeBytes(data, length) != kOk) return kFailed;
    return linkDataBlock(stream, chain, position, length);
}

int trimLastList(ZtCMF4Stream& stream, const DataChain& chain) {
    if (chain.listPosition == 0 || chain.used >= chain.capacity) return kOk;
    const std::int64_t list = chain.listPosition;
    std::vector<std::uint64_t> offsets(chain.used);
    if (stream.seekRead(offsetAt(list, chain.capacity, 0)) != kOk ||
        stream.readU64Array(offsets.data(), offsets.size()) != kOk)
        return kFailed;
    const std::uint64_t length = 40 + 16 * chain.used;
    const std::uint64_t links = chain.used + 1;
    if (stream.seekWrite(static_cast<std::uint64_t>(list) + 8) != kOk || stream.write(length) != kOk ||
        stream.write(links) != kOk)
        return kFailed;
    // Flags, reserved bytes and count follow the used links, then the offsets.
    const std::uint8_t flagsAndReserved[4] = {};
    if (stream.seekWrite(countAt(list, chain.used) - 4) != kOk ||
        stream.writeBytes(flagsAndReserved, sizeof flagsAndReserved) != kOk ||
        stream.write(static_cast<std::uint32_t>(chain.used)) != kOk)
        return kFailed;
    return stream.writeU64Array(offsets.data(), offsets.size());
}

}  // namespace tarvik
