// Where the bytes of a data section come from: one DT, SD, RD or DZ block, or the blocks a DL
// chain lists (an HL enters as the DL chain it points to), for records and signal data alike. The section is read as if it were
// one contiguous run of bytes; a DataSource finds the block that holds an offset, reads from it
// (inflating a DZ) and moves on to the next block until the request is served.
#pragma once

#include <cstdint>
#include <functional>
#include <future>
#include <optional>
#include <vector>

#include "blocks/data_blocks.h"
#include "blocks/decoded_blocks.h"

namespace tarvik {

class ZtCMF4Stream;
struct CnRecord;
struct DgRecord;

class DataSource {
public:
    // Section length of signal data: its end is wherever its last block ends.
    static constexpr std::uint64_t kOpenEnded = ~std::uint64_t{0};

    // A source without blocks: every read yields nothing.
    DataSource() = default;

    // The section stored as `storage` says, `sectionLength` bytes long (kOpenEnded: as long as
    // its blocks are). A storage of no kind gives an empty source.
    static DataSource forStorage(const DataStorage& storage, std::uint64_t sectionLength);
    // The records of a data group, `sectionLength` = record size x record count.
    static DataSource forDataGroup(const DgRecord& dataGroup, std::uint64_t sectionLength);
    // The signal data of a variable-length channel, whatever it is stored in.
    static DataSource forSignalData(const CnRecord& channel);
    // The records of a sample reduction: an RD block or a DL chain of RD blocks.
    static DataSource forSampleReduction(const SrRecord& reduction, std::uint64_t sectionLength);

    // Copies up to `n` bytes from section offset `offset` to `out`; returns how many arrived.
    // Fewer arrive at the end of the section, at a block that cannot be read or decoded, or when
    // the file ends early.
    std::uint64_t read(ZtCMF4Stream& stream, std::uint64_t offset, std::uint8_t* out,
                       std::uint64_t n);

    // Reads up to `n` bytes from section offset `offset` into `out` and returns how many
    // arrived. `out` grows (by doubling, never shrinking) only as the bytes arrive, so a length
    // or count from a damaged file never takes memory that the data cannot fill.
    std::uint64_t readInto(ZtCMF4Stream& stream, std::uint64_t offset, std::uint64_t n,
                           std::vector<std::uint8_t>& out);

    // Up to `n` bytes from section offset `offset` where they lie, without a copy: in the file's
    // mapping for an uncompressed block, in the decoded bytes for a DZ block. Only the bytes of
    // the one block that holds `offset` are offered; returns how many `at` points to, 0 when
    // none can be offered so (the caller then copies with read). Valid until this source reads
    // another block or the stream closes.
    std::uint64_t readInPlace(ZtCMF4Stream& stream, std::uint64_t offset, std::uint64_t n,
                              const std::uint8_t*& at);

    bool empty() const { return blocks_.empty(); }

    // Takes decoded DZ blocks from `shared` and leaves the ones it decodes there, for the reads
    // that follow (null: every DataSource decodes for itself).
    void shareDecodedBlocks(DecodedBlocks* shared) { shared_ = shared; }

    // Called with the section offset and the bytes of every DZ block this source decodes (not
    // of those it finds decoded already), on the thread that reads.
    using DecodedCall = std::function<void(std::uint64_t sectionStart, const std::vector<std::uint8_t>& bytes)>;
    void onBlockDecoded(DecodedCall call) { onDecoded_ = std::move(call); }
    // Starts decoding the block that holds section offset `offset` on a second thread, when it
    // is a DZ block not decoded yet and the source shares decoded blocks: a search about to
    // look at two places far apart has both blocks decoded at once.
    void prefetch(ZtCMF4Stream& stream, std::uint64_t offset) { readAhead(stream, locate(offset)); }

private:
    // What the header of a listed block says about its data bytes.
    struct BlockData {
        std::int64_t link = 0;   // 0: nothing has been looked at yet
        bool readable = false;   // a DT/SD/RD, or a DZ
        bool compressed = false;
        std::uint64_t length = 0;  // bytes of data, after decoding for a DZ
        DzRecord dz;
    };

    // The blocks of a DL chain, in section order.
    void appendLists(const std::vector<DlRecord>& lists);
    void appendSingleBlock(std::int64_t link);

    // Where section offset `p` lies: the index of its block, the block's header data, how far
    // into its data, and how many of the bytes asked for the block holds from there. False when
    // no readable block holds the offset.
    struct Place {
        std::size_t index = 0;
        const BlockData* block = nullptr;
        std::uint64_t within = 0;
        std::uint64_t count = 0;
    };
    bool place(ZtCMF4Stream& stream, std::uint64_t p, std::uint64_t n, Place& where);
    // The block a read at `p` comes to after the one at `index`: the next one when the read goes
    // on past the start of the last piece up to its end (a walk forward: a reader of whole
    // records goes on with the record the piece cut), else none (blocks_.size()).
    std::size_t aheadOf(std::uint64_t p, std::size_t index) const {
        return lastPieceStart_ < p && p <= lastPieceEnd_ ? index + 1 : blocks_.size();
    }
    // Remembers the piece just read.
    void notePiece(std::uint64_t start, std::uint64_t count) {
        lastPieceStart_ = start;
        lastPieceEnd_ = start + count;
    }

    // Index of the block that holds section offset `p`, or blocks_.size() when none does.
    std::size_t locate(std::uint64_t p) const;
    std::uint64_t blockStart(std::size_t index) const;
    // Length of the block's share of the section as the list tells it.
    std::uint64_t listedLength(std::size_t index) const;
    // What the header of the block at `link` says.
    static BlockData readBlockData(ZtCMF4Stream& stream, std::int64_t link);
    // The same, remembered for the next piece.
    const BlockData& blockData(ZtCMF4Stream& stream, std::int64_t link);
    // Starts decoding block `index` on a second thread when it is a DZ not decoded yet.
    void readAhead(ZtCMF4Stream& stream, std::size_t index);
    // Copies `n` bytes from `at` bytes into the data of block `index`; returns how many
    // arrived. `ahead` is the block a forward walk comes to next (blocks_.size() when not
    // walking).
    std::uint64_t readPiece(ZtCMF4Stream& stream, const BlockData& block, std::size_t index, std::uint64_t at,
                            std::uint8_t* out, std::uint64_t n, std::size_t ahead);
    // The decoded bytes of DZ block `index`, or null when it cannot be decoded; a block this
    // thread has to decode has block `ahead` decoded beside it.
    const std::vector<std::uint8_t>* decoded(ZtCMF4Stream& stream, const BlockData& block, std::size_t index,
                                             std::size_t ahead);

    std::vector<std::int64_t> blocks_;   // links of the section's blocks, in order
    std::vector<std::uint64_t> starts_;  // section offset of each block (listed offsets)
    std::uint64_t equalLength_ = 0;      // not 0: every block holds this many bytes
    std::uint64_t sectionLength_ = kOpenEnded;

    BlockData current_;
    // Decoding a DZ costs a read of the whole compressed block and an inflate of all of it; a
    // window of records takes only a slice, and the next window usually lies in the same
    // block. The block used last is therefore held until a piece of another DZ is needed (null
    // after a failed decode of decodedLink_), and with `shared_` the blocks decoded before stay
    // at hand within the bounds of the file's cache.
    std::int64_t decodedLink_ = 0;
    DecodedBlocks::Bytes decoded_;
    DecodedBlocks* shared_ = nullptr;
    DecodedCall onDecoded_;

    // Walking forward through a chain of DZ blocks (a whole read), the block after the one this
    // thread starts to decode is decoded on a second thread at the same time, so both cores
    // inflate: one block ahead at most, and the thread is waited for when the source goes, so
    // none outlives the read. Only sources that share decoded blocks read ahead: theirs is a
    // file opened for reading, which nobody writes through the stream the second thread reads
    // past.
    struct ReadAheadBlock {
        ReadAheadBlock() = default;
        // A copy of a source starts without a block under way.
        ReadAheadBlock(const ReadAheadBlock&) {}
        ReadAheadBlock& operator=(const ReadAheadBlock&) { return *this = ReadAheadBlock{}; }
        ReadAheadBlock(ReadAheadBlock&&) = default;
        ReadAheadBlock& operator=(ReadAheadBlock&&) = default;

        std::int64_t link = 0;
        std::future<std::optional<std::vector<std::uint8_t>>> bytes;
    };
    ReadAheadBlock ahead_;
    std::uint64_t lastPieceStart_ = kOpenEnded;  // where the piece read last started and ended
    std::uint64_t lastPieceEnd_ = kOpenEnded;
};

}  // namespace tarvik
