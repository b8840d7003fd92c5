#include "blocks/block_header.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "blocks/block.h"
#include "blocks/stream.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

int checkId(ZtCMF4Stream& stream, std::string_view expectedId) {
    char id[4];
    if (expectedId.size() != sizeof id || stream.readBytes(id, sizeof id) != kOk) return kFailed;
    return std::memcmp(id, expectedId.data(), sizeof id) == 0 ? kOk : kFailed;
}

int readHeader(ZtCMF4Stream& stream, std::string_view id, BlockHeader& header) {
    std::memcpy(header.id, id.data(), std::min(id.size(), sizeof header.id));
    if (stream.readBytes(header.reserved, sizeof header.reserved) != kOk) return kFailed;
    if (stream.read(header.length) != kOk) return kFailed;
    return stream.read(header.linkCount);
}

int writeHeader(ZtCMF4Stream& stream, const BlockHeader& header) {
    if (stream.writeBytes(header.id, sizeof header.id) != kOk) return kFailed;
    if (stream.writeBytes(header.reserved, sizeof header.reserved) != kOk) return kFailed;
    if (stream.write(header.length) != kOk) return kFailed;
    return stream.write(header.linkCount);
}

int writeBlock(ZtCMF4Stream& stream, ZtCMF4Block& block, BlockRecord& record, std::string_view id) {
    record.position = static_cast<std::int64_t>(stream.padTo8());
    BlockHeader& header = record.header;
    std::memcpy(header.id, id.data(), std::min<std::size_t>(id.size(), sizeof header.id));
    header.length = block.blockSize();
    header.linkCount = block.linkCount();
    if (writeHeader(stream, header) != kOk) return kFailed;
    return block.write(stream);
}

BlockKind probeBlock(ZtCMF4Stream& stream, std::int64_t link) {
    if (link == 0) return BlockKind::None;
    struct Probed {
        char id[5];
        BlockKind kind;
    };
    // Ordered by how often links point at each kind.
    static constexpr std::array<Probed, 12> kProbed{{
        {"##TX", BlockKind::TX}, {"##MD", BlockKind::MD}, {"##CG", BlockKind::CG},
        {"##CN", BlockKind::CN}, {"##DL", BlockKind::DL}, {"##DT", BlockKind::DT},
        {"##CC", BlockKind::CC}, {"##RD", BlockKind::RD}, {"##CA", BlockKind::CA},
        {"##HL", BlockKind::HL}, {"##DZ", BlockKind::DZ}, {"##SD", BlockKind::SD},
    }};
    char id[4];
    if (link < 0 || stream.seekRead(static_cast<std::uint64_t>(link)) != kOk ||
        stream.readBytes(id, sizeof id) != kOk)
        return BlockKind::None;
    for (const Probed& probed : kProbed)
        if (std::memcmp(id, probed.id, sizeof id) == 0) return probed.kind;
    return BlockKind::None;
}

}  // namespace tarvik
