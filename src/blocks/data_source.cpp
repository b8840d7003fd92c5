#include "blocks/data_source.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "blocks/cn_block.h"
#include "blocks/dg_block.h"
#include "blocks/stream.h"

namespace tarvik {

using platform::kOk;

namespace {

constexpr std::uint8_t kDlEqualLength = 0x01;
// The first piece readInto gives memory to before any byte has arrived.
constexpr std::uint64_t kFirstPiece = 0x10000;

static_assert(sizeof(BlockHeader) == kBlockHeaderSize, "a block header is read as it lies on disk");

bool hasId(const BlockHeader& header, const char* id) {
    return std::memcmp(header.id, id, sizeof header.id) == 0;
}

// Copies `n` bytes from file offset `position`; returns how many arrived before the file ended
// or a read failed.
std::uint64_t readRaw(ZtCMF4Stream& stream, std::uint64_t position, std::uint8_t* out,
                      std::uint64_t n) {
    if (stream.seekRead(position) != kOk) return 0;
    if (stream.readBytes(out, static_cast<std::size_t>(n)) == kOk) return n;
    // A short read leaves the stream where the bytes ran out.
    const std::uint64_t reached = stream.position();
    if (reached == ZtCMF4Stream::kNoPosition || reached < position) return 0;
    return std::min(reached - position, n);
}

}  // namespace

DataSource DataSource::forStorage(const DataStorage& storage, std::uint64_t sectionLength) {
    DataSource source;
    try {
        switch (storage.kind) {
        case BlockKind::DT:
        case BlockKind::SD:
            if (storage.block) source.appendSingleBlock(storage.block->position);
            break;
        case BlockKind::DZ:
            if (storage.compressed) source.appendSingleBlock(storage.compressed->position);
            break;
        case BlockKind::DL:
            source.appendLists(storage.lists);
            break;
        case BlockKind::HL:
            if (storage.headerList) source.appendLists(storage.headerList->lists);
            break;
        default:
            break;
        }
    } catch (const std::bad_alloc&) {
        return DataSource{};
    }
    source.sectionLength_ = sectionLength;
    return source;
}

DataSource DataSource::forDataGroup(const DgRecord& dataGroup, std::uint64_t sectionLength) {
    return forStorage(dataGroup.data, sectionLength);
}

DataSource DataSource::forSignalData(const CnRecord& channel) { return forStorage(channel.signalData, kOpenEnded); }

DataSource DataSource::forSampleReduction(const SrRecord& reduction,
                                          std::uint64_t sectionLength) {
    DataSource source;
    try {
        if (reduction.dataKind == BlockKind::RD && reduction.reductionData)
            source.appendSingleBlock(reduction.reductionData->position);
        else if (reduction.dataKind == BlockKind::DL)
            source.appendLists(reduction.lists);
    } catch (const std::bad_alloc&) {
        return DataSource{};
    }
    source.sectionLength_ = sectionLength;
    return source;
}

void DataSource::appendSingleBlock(std::int64_t link) {
    blocks_.push_back(link);
    starts_.push_back(0);
}

void DataSource::appendLists(const std::vector<DlRecord>& lists) {
    if (lists.empty()) return;
    const DlRecord& first = lists.front();
    // The first list decides how the whole chain is located.
    if (first.dl_flags & kDlEqualLength) {
        if (first.dl_equal_length == 0) return;
        equalLength_ = first.dl_equal_length;
        for (const DlRecord& list : lists) {
            const std::size_t count = std::min<std::size_t>(list.dl_data.size(), list.dl_count);
            for (std::size_t i = 0; i < count; ++i) {
                if (list.dl_data[i] == 0) return;
                blocks_.push_back(list.dl_data[i]);
            }
        }
        return;
    }
    // The lists are searched as one sorted run of offsets. Where a list gives no offsets, or
    // an offset goes back, the chain is damaged and the section ends there. A link of 0 ends it
    // too: the unused slots of a list that a writer sized for more blocks than it wrote (an
    // unfinished file) hold zeros.
    for (const DlRecord& list : lists) {
        if (list.dl_flags & kDlEqualLength) return;
        const std::size_t count = std::min(list.dl_data.size(), list.dl_offset.size());
        for (std::size_t i = 0; i < count; ++i) {
            if (list.dl_data[i] == 0) return;
            if (!starts_.empty() && list.dl_offset[i] < starts_.back()) return;
            blocks_.push_back(list.dl_data[i]);
            starts_.push_back(list.dl_offset[i]);
        }
    }
}

std::uint64_t DataSource::read(ZtCMF4Stream& stream, std::uint64_t offset, std::uint8_t* out,
                               std::uint64_t n) {
    n = std::min(n, kOpenEnded - offset);
    std::uint64_t done = 0;
    Place where;
    while (done < n) {
        const std::uint64_t p = offset + done;
        if (!place(stream, p, n - done, where)) break;
        const std::uint64_t got =
            readPiece(stream, *where.block, where.index, where.within, out + done, where.count, aheadOf(p, where.index));
        notePiece(p, got);
        done += got;
        if (got < where.count) break;
    }
    return done;
}

std::uint64_t DataSource::readInPlace(ZtCMF4Stream& stream, std::uint64_t offset, std::uint64_t n,
                                      const std::uint8_t*& at) {
    n = std::min(n, kOpenEnded - offset);
    Place where;
    if (n == 0 || !place(stream, offset, n, where)) return 0;
    const BlockData& block = *where.block;
    std::uint64_t count = where.count;
    if (block.compressed) {
        const std::vector<std::uint8_t>* bytes = decoded(stream, block, where.index, aheadOf(offset, where.index));
        if (bytes == nullptr || where.within >= bytes->size()) return 0;
        at = bytes->data() + where.within;
        count = std::min<std::uint64_t>(count, bytes->size() - where.within);
    } else {
        at = stream.bytesInPlace(static_cast<std::uint64_t>(block.link) + kBlockHeaderSize + where.within, count);
        if (at == nullptr) return 0;
    }
    notePiece(offset, count);
    return count;
}

bool DataSource::place(ZtCMF4Stream& stream, std::uint64_t p, std::uint64_t n, Place& where) {
    where.index = locate(p);
    if (where.index >= blocks_.size()) return false;
    where.block = &blockData(stream, blocks_[where.index]);
    // However the list describes the block, it never yields more than its own data: a damaged
    // list must not hand out the bytes of whatever follows the block in the file.
    const std::uint64_t length = std::min(listedLength(where.index), where.block->length);
    where.within = p - blockStart(where.index);
    if (!where.block->readable || where.within >= length) return false;
    where.count = std::min(n, length - where.within);
    return true;
}

std::uint64_t DataSource::readInto(ZtCMF4Stream& stream, std::uint64_t offset, std::uint64_t n,
                                   std::vector<std::uint8_t>& out) {
    std::uint64_t got = 0;
    while (got < n) {
        if (out.size() <= got) {
            try {
                out.resize(static_cast<std::size_t>(std::min(n, std::max(kFirstPiece, 2 * std::uint64_t{out.size()}))));
            } catch (const std::bad_alloc&) {
                break;
            }
        }
        const std::uint64_t piece = std::min<std::uint64_t>(n, out.size()) - got;
        const std::uint64_t arrived = read(stream, offset + got, out.data() + got, piece);
        got += arrived;
        if (arrived < piece) break;
    }
    return got;
}

std::size_t DataSource::locate(std::uint64_t p) const {
    if (equalLength_ != 0)
        return static_cast<std::size_t>(std::min<std::uint64_t>(p / equalLength_, blocks_.size()));
    // The last block that starts at or before p.
    const auto after = std::upper_bound(starts_.begin(), starts_.end(), p);
    if (after == starts_.begin()) return blocks_.size();
    return static_cast<std::size_t>(after - starts_.begin() - 1);
}

std::uint64_t DataSource::blockStart(std::size_t index) const {
    return equalLength_ != 0 ? index * equalLength_ : starts_[index];
}

std::uint64_t DataSource::listedLength(std::size_t index) const {
    const bool last = index + 1 == blocks_.size();
    if (equalLength_ != 0) {
        if (!last || sectionLength_ == kOpenEnded) return equalLength_;
        const std::uint64_t rest = sectionLength_ % equalLength_;
        return rest == 0 ? equalLength_ : rest;
    }
    const std::uint64_t next = last ? sectionLength_ : starts_[index + 1];
    return next > starts_[index] ? next - starts_[index] : 0;
}

DataSource::BlockData DataSource::readBlockData(ZtCMF4Stream& stream, std::int64_t link) {
    BlockData data;
    data.link = link;
    BlockHeader header;
    if (link <= 0 || stream.seekRead(static_cast<std::uint64_t>(link)) != kOk ||
        stream.readBytes(&header, sizeof header) != kOk)
        return data;
    if (hasId(header, "##DT") || hasId(header, "##SD") || hasId(header, "##RD")) {
        data.readable = true;
        data.length = header.length > kBlockHeaderSize ? header.length - kBlockHeaderSize : 0;
    } else if (hasId(header, "##DZ") && readDzFields(stream, header, link, data.dz)) {
        data.readable = true;
        data.compressed = true;
        data.length = data.dz.dz_org_data_length;
    }
    return data;
}

const DataSource::BlockData& DataSource::blockData(ZtCMF4Stream& stream, std::int64_t link) {
    if (link != current_.link || link == 0) current_ = readBlockData(stream, link);
    return current_;
}

void DataSource::readAhead(ZtCMF4Stream& stream, std::size_t index) {
    if (shared_ == nullptr || index >= blocks_.size()) return;
    const std::int64_t link = blocks_[index];
    if (link == ahead_.link || link == decodedLink_ || shared_->find(link)) return;
    const BlockData next = readBlockData(stream, link);
    if (!next.compressed) return;
    try {
        std::FILE* file = stream.file();
        const std::uint64_t fileSize = stream.size();
        // A block still under way from before is waited for here, when its future is replaced.
        ahead_.bytes = std::async(std::launch::async, [file, fileSize, dz = next.dz] { return decodeDzAt(file, fileSize, dz); });
        ahead_.link = link;
    } catch (const std::exception&) {
        // No thread to be had: the block is decoded when it is reached.
        ahead_ = ReadAheadBlock{};
    }
}

std::uint64_t DataSource::readPiece(ZtCMF4Stream& stream, const BlockData& block, std::size_t index,
                                    std::uint64_t at, std::uint8_t* out, std::uint64_t n, std::size_t ahead) {
    if (!block.compressed)
        return readRaw(stream, static_cast<std::uint64_t>(block.link) + kBlockHeaderSize + at, out,
                       n);
    const std::vector<std::uint8_t>* bytes = decoded(stream, block, index, ahead);
    if (bytes == nullptr || at >= bytes->size()) return 0;
    const std::uint64_t available = std::min<std::uint64_t>(n, bytes->size() - at);
    std::memcpy(out, bytes->data() + at, static_cast<std::size_t>(available));
    return available;
}

const std::vector<std::uint8_t>* DataSource::decoded(ZtCMF4Stream& stream, const BlockData& block,
                                                     std::size_t index, std::size_t ahead) {
    if (block.link != decodedLink_) {
        decodedLink_ = block.link;
        // The previous block is let go before the next is inflated: without a shared cache only
        // one is ever held.
        decoded_.reset();
        if (shared_ != nullptr) decoded_ = shared_->find(block.link);
        if (!decoded_) {
            try {
                std::optional<std::vector<std::uint8_t>> bytes;
                if (block.link == ahead_.link) {
                    ahead_.link = 0;
                    bytes = ahead_.bytes.get();
                } else {
                    // Walking forward, the next block is decoded beside this one.
                    readAhead(stream, ahead);
                    bytes = decodeDz(stream, block.dz);
                }
                if (bytes) {
                    decoded_ = std::make_shared<const std::vector<std::uint8_t>>(std::move(*bytes));
                    if (shared_ != nullptr) shared_->keep(block.link, decoded_);
                    if (onDecoded_) onDecoded_(blockStart(index), *decoded_);
                }
            } catch (const std::bad_alloc&) {
                // A block the memory cannot hold counts as undecodable, as in decodeDz.
            }
        }
    }
    return decoded_.get();
}

}  // namespace tarvik
