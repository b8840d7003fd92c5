#include "update/comment_placement.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "blocks/block_header.h"
#include "blocks/stream.h"
#include "blocks/text_block.h"
#include "platform/text.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

constexpr std::uint64_t kLengthField = 8;  // offset of a block's length in its header

constexpr std::uint64_t roundUpTo8(std::uint64_t value) { return (value + 7) & ~std::uint64_t{7}; }

// True when the `count` bytes at `offset` can be read and none of them starts "##".
bool holdsNoBlock(ZtCMF4Stream& stream, std::uint64_t offset, std::uint64_t count) {
    std::vector<char> bytes(count);
    if (stream.seekRead(offset) != kOk || stream.readBytes(bytes.data(), bytes.size()) != kOk) return false;
    return std::string_view(bytes.data(), bytes.size()).find("##") == std::string_view::npos;
}

// Whether the new block of `newLength` bytes may take the place of the block at `oldBlock`.
bool fitsInPlace(ZtCMF4Stream& stream, std::int64_t oldBlock, std::uint64_t newLength) {
    const BlockKind kind = probeBlock(stream, oldBlock);
    std::uint64_t oldLength = 0;
    if ((kind != BlockKind::MD && kind != BlockKind::TX) ||
        stream.seekRead(static_cast<std::uint64_t>(oldBlock) + kLengthField) != kOk || stream.read(oldLength) != kOk)
        return false;
    if (newLength <= oldLength) return true;
    const std::uint64_t oldEnd = static_cast<std::uint64_t>(oldBlock) + oldLength;
    if (oldEnd == stream.size()) return true;
    const std::uint64_t newEnd = static_cast<std::uint64_t>(oldBlock) + roundUpTo8(newLength);
    return oldEnd < newEnd && holdsNoBlock(stream, oldEnd, newEnd - oldEnd);
}

}  // namespace

int placeHeaderComment(ZtCMF4Stream& stream, std::int64_t oldBlock, const std::u16string& xml, std::int64_t& position) {
    const std::uint64_t newLength = kBlockHeaderSize + platform::utf16ToUtf8(xml).size() + 1;
    const bool inPlace = fitsInPlace(stream, oldBlock, newLength);
    if ((inPlace ? stream.seekWrite(static_cast<std::uint64_t>(oldBlock)) : stream.seekEnd()) != kOk) return kFailed;
    return writeTextBlock(stream, BlockKind::MD, xml, position);
}

}  // namespace tarvik
