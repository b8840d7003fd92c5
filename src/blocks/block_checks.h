// The checks every block reader shares: opening a block (id, header), comparing link count and
// length with what the block needs, link alignment, field ranges, and guarding chains against
// links that lead back to a block already read.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <unordered_set>

#include "blocks/block_header.h"

namespace tarvik {

class ZtCReadContext;

// How a block's link count and length are compared with what it needs.
enum class SizeRule {
    Exact,         // fewer gives an error (104/106), more a warning (105/107)
    Minimum,       // fewer gives an error, more is fine
    ExactLinksMinimumLength,  // links exact, length only a minimum
};

struct BlockShape {
    std::string_view id;         // "##HD"
    std::string_view name;       // "HD Block", as findings name it
    std::uint64_t links;         // links the block needs (at least, for minimum rules)
    std::uint64_t length;        // length the block needs (at least, for minimum rules)
    SizeRule rule;
};

// Seeks to `position`, checks the block's id (finding 103 with the two-letter type on a
// mismatch) and reads the header into `record`, whose position and version are set.
// kOk or kFailed.
int openBlock(ZtCReadContext& context, std::int64_t position, std::string_view id, BlockRecord& record);

// Raises 104 to 107 for a header that does not match `shape`.
void checkHeaderShape(ZtCReadContext& context, const BlockRecord& record, const BlockShape& shape);

// Finding 112 when `link` is not a multiple of 8.
void checkLinkAlignment(ZtCReadContext& context, std::string_view blockName, std::int64_t position,
                        std::string_view linkName, std::int64_t link);

// Finding 112 for each named link of a block that is not a multiple of 8.
struct NamedLink {
    std::string_view name;
    std::int64_t link;
};
void checkLinkAlignments(ZtCReadContext& context, std::string_view blockName, std::int64_t position,
                         std::initializer_list<NamedLink> links);

// Finding 108: a field value outside the accepted set.
void raiseFieldRange(ZtCReadContext& context, std::string_view blockName, std::int64_t position,
                     std::string_view field, std::int64_t value);

// Finding 109: a field that contradicts another (or a link that leads back into its chain).
void raiseFieldInconsistent(ZtCReadContext& context, std::string_view blockName, std::int64_t position,
                            std::string_view field);

// Finding 116 (warning): a link that should name a block is 0.
void raiseMissingLink(ZtCReadContext& context, std::string_view blockName, std::int64_t position,
                      std::string_view field);

// The bytes of a block after its header, never negative.
std::uint64_t blockBodyLength(const BlockRecord& record);

// The remaining bytes of a block after its header and `linkCount` links, never negative.
std::uint64_t dataSectionLength(const BlockRecord& record);

// True when `count` items of `itemSize` bytes can lie in the file from the stream's position,
// so that counts read from a damaged file never make the reader allocate more than the file.
bool fitsInFile(ZtCReadContext& context, std::uint64_t count, std::uint64_t itemSize);

// The link through which a block was reached: the block that holds it and the link's name.
struct LinkOrigin {
    std::string_view blockName;
    std::int64_t position;
    std::string_view field;
};

// Follows a chain of blocks from `first` through their next links. `readOne(position, next)`
// reads one block and stores its next link in `next`. A next link that leads back to a block of
// the chain would make it endless: the chain fails with finding 109 naming the block that holds
// the link and the link's field, e.g. "DG Block at 0x1A0, Field: dg_dg_next". kOk or kFailed.
template <typename ReadOne>
int followChain(ZtCReadContext& context, std::int64_t first, std::string_view blockName,
                std::string_view nextField, ReadOne&& readOne) {
    std::unordered_set<std::int64_t> visited;
    for (std::int64_t position = first; position != 0;) {
        visited.insert(position);
        std::int64_t next = 0;
        if (readOne(position, next) != 0) return 2;
        if (next != 0 && visited.count(next) != 0) {
            raiseFieldInconsistent(context, blockName, position, nextField);
            return 2;
        }
        position = next;
    }
    return 0;
}

}  // namespace tarvik
