// The common header that starts every MDF 4 block except the ID block, and the operations on
// it: id check, header read and write, and the probe that tells what a link points to.
#pragma once

#include <cstdint>
#include <string_view>

#include "blocks/block_kind.h"

namespace tarvik {

class ZtCMF4Stream;

inline constexpr std::uint64_t kBlockHeaderSize = 24;
// Offset of a block's first link from its start: in a chained block (DL, EV, FH, ...) the link
// to the next block of its chain.
inline constexpr std::int64_t kNextLinkOffset = 24;

struct BlockHeader {
    char id[4] = {};                // "##" and the two-letter block type
    std::uint8_t reserved[4] = {};  // kept as read, written as zero
    std::uint64_t length = 0;       // whole block, header included
    std::uint64_t linkCount = 0;    // 8-byte links following the header
};

// Bookkeeping every block record carries beside its header.
struct BlockRecord {
    BlockHeader header;
    std::uint16_t version = 0;  // format version of the file the block belongs to
    std::int64_t position = 0;  // the block's own file offset
};

// Reads 4 bytes and compares them with `expectedId` (e.g. "##HD"). kOk or kFailed.
int checkId(ZtCMF4Stream& stream, std::string_view expectedId);

// After the id was checked: reads reserved, length and link count into `header`, whose id
// is set to `id`.
int readHeader(ZtCMF4Stream& stream, std::string_view id, BlockHeader& header);

int writeHeader(ZtCMF4Stream& stream, const BlockHeader& header);

class ZtCMF4Block;

// Writes a whole block at the next multiple of 8: the header with `id` and the length and link
// count the block class computes, then the block's links and data. The block's position is
// stored in `record` first. kOk or kFailed.
int writeBlock(ZtCMF4Stream& stream, ZtCMF4Block& block, BlockRecord& record, std::string_view id);

// The kind of block at `link`, from its 4-byte id alone; BlockKind::None for link 0, a short
// read or an id the probe does not know (HD, FH, EV, AT, SI and SR are never probed).
BlockKind probeBlock(ZtCMF4Stream& stream, std::int64_t link);

}  // namespace tarvik
