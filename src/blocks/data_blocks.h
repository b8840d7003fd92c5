// The blocks that hold or list sample data: DT/SD/RD data blocks, DZ compressed blocks, DL data
// lists, HL header lists and SR sample reductions. The structure read takes in only their
// headers and lists; the data bytes are read on demand by the data readers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include "blocks/block.h"
#include "blocks/block_header.h"
#include "blocks/block_kind.h"

namespace tarvik {

class ZtCMF4Stream;
class ZtCReadContext;

// A DT, SD or RD block: its data bytes start at position + 24 and are (length - 24) long.
struct DtRecord : BlockRecord {
    std::uint64_t dataOffset() const { return static_cast<std::uint64_t>(position) + kBlockHeaderSize; }
    std::uint64_t dataLength() const { return header.length > kBlockHeaderSize ? header.length - kBlockHeaderSize : 0; }
};

struct DzRecord : BlockRecord {
    static constexpr std::uint64_t kDataStart = 48;
    char dz_org_block_type[2] = {};
    std::uint8_t dz_zip_type = 0;          // 0 deflate, 1 transposition + deflate
    std::uint8_t dz_reserved = 0;
    std::uint32_t dz_zip_parameter = 0;    // columns of the transposition
    std::uint64_t dz_org_data_length = 0;  // bytes after decoding
    std::uint64_t dz_data_length = 0;      // bytes of the zlib stream
};

// The DZ block's fields after its header, in file order.
template <typename Fields, typename Record>
void dzFields(Fields& fields, Record& r) {
    fields.bytes(r.dz_org_block_type, sizeof r.dz_org_block_type);
    fields(r.dz_zip_type);
    fields(r.dz_reserved);
    fields(r.dz_zip_parameter);
    fields(r.dz_org_data_length);
    fields(r.dz_data_length);
}

struct DlRecord : BlockRecord {
    std::int64_t dl_dl_next = 0;
    std::vector<std::int64_t> dl_data;     // (link count - 1) links to DT, DZ, SD or RD blocks
    std::uint8_t dl_flags = 0;             // bit 0: equal length
    std::uint8_t dl_reserved[3] = {};
    std::uint32_t dl_count = 0;
    std::uint64_t dl_equal_length = 0;     // when bit 0 is set
    std::vector<std::uint64_t> dl_offset;  // when bit 0 is clear: start of each block in the section
};

struct HlRecord : BlockRecord {
    std::int64_t hl_dl_first = 0;
    std::uint16_t hl_flags = 0;
    std::uint8_t hl_zip_type = 0;
    std::uint8_t hl_reserved[5] = {};
    std::vector<DlRecord> lists;           // the DL chain from hl_dl_first
};

// Where a section of data lies, as read from the link that names it: one plain block (DT for
// records, SD for signal data), one DZ block, a DL chain, or an HL over a DL chain.
struct DataStorage {
    BlockKind kind = BlockKind::None;
    std::optional<DtRecord> block;        // DT or SD
    std::optional<DzRecord> compressed;   // DZ
    std::optional<HlRecord> headerList;   // HL
    std::vector<DlRecord> lists;          // DL
};

struct SrRecord : BlockRecord {
    std::int64_t sr_sr_next = 0;
    std::int64_t sr_data = 0;              // RD or DL
    std::uint64_t sr_cycle_count = 0;
    double sr_interval = 0;
    std::uint8_t sr_sync_type = 0;
    std::uint8_t sr_flags = 0;
    std::uint8_t sr_reserved[6] = {};
    BlockKind dataKind = BlockKind::None;  // DL or RD
    std::optional<DtRecord> reductionData; // the RD block
    std::vector<DlRecord> lists;           // the DL chain
};

// The SR block's links and data, in file order: one list for reading and writing.
template <typename Fields, typename Record>
void srFields(Fields& fields, Record& r) {
    fields(r.sr_sr_next);
    fields(r.sr_data);
    fields(r.sr_cycle_count);
    fields(r.sr_interval);
    fields(r.sr_sync_type);
    fields(r.sr_flags);
    fields.bytes(r.sr_reserved, sizeof r.sr_reserved);
}

// Block classes of the data blocks: sizes as written.
class ZtCDLBlock final : public ZtCMF4Block {
public:
    explicit ZtCDLBlock(DlRecord& record) : record_(record) {}
    std::uint64_t linkCount() const override { return std::uint64_t{record_.dl_count} + 1; }
    std::uint64_t blockSize() const override { return (linkCount() + record_.dl_count) * 8 + 32; }
    void release() override { record_ = DlRecord{}; }
    int write(ZtCMF4Stream& stream) override;

private:
    DlRecord& record_;
};

class ZtCHLBlock final : public ZtCMF4Block {
public:
    explicit ZtCHLBlock(HlRecord& record) : record_(record) {}
    std::uint64_t linkCount() const override { return 1; }
    std::uint64_t blockSize() const override { return 1 * 8 + 32; }
    void release() override { record_.lists.clear(); }

private:
    HlRecord& record_;
};

class ZtCDZBlock final : public ZtCMF4Block {
public:
    explicit ZtCDZBlock(DzRecord& record) : record_(record) {}
    std::uint64_t linkCount() const override { return 0; }
    std::uint64_t blockSize() const override { return DzRecord::kDataStart + record_.dz_data_length; }
    void release() override {}

private:
    DzRecord& record_;
};

class ZtCSRBlock final : public ZtCMF4Block {
public:
    explicit ZtCSRBlock(SrRecord& record) : record_(record) {}
    std::uint64_t linkCount() const override { return 2; }
    std::uint64_t blockSize() const override { return 2 * 8 + 48; }
    void release() override { record_.lists.clear(); }
    int write(ZtCMF4Stream& stream) override;

private:
    SrRecord& record_;
};

// DT, SD and RD blocks are header and data only.
class ZtCDTBlock final : public ZtCMF4Block {
public:
    explicit ZtCDTBlock(DtRecord& record) : record_(record) {}
    std::uint64_t linkCount() const override { return 0; }
    std::uint64_t blockSize() const override { return record_.header.length; }
    void release() override {}

private:
    DtRecord& record_;
};
using ZtCRDBlock = ZtCDTBlock;

// Reads the header of the DT, SD or RD block (`id` "##DT", "##SD" or "##RD") at `link`.
// A mismatching id raises 103. kOk or kFailed.
int readDataBlockHeader(ZtCReadContext& context, std::int64_t link, std::string_view id, DtRecord& record);

// Reads the DZ header at `link` (103 on a wrong id, 106 when shorter than 48). kOk or kFailed.
int readDzHeader(ZtCReadContext& context, std::int64_t link, DzRecord& record);

// The DZ fields that follow `header` (just read from `position`; the stream stands after it),
// without findings: the data readers meet DZ blocks through lists long after the structure read.
// False when the block is too short to hold them or they cannot be read.
bool readDzFields(ZtCMF4Stream& stream, const BlockHeader& header, std::int64_t position, DzRecord& record);

// Reads the DL chain starting at `first`. A first link of 0 raises 111. A block that is not a
// DL ends the chain quietly with an empty record. A chain that leads back into itself fails with
// 109. kOk or kFailed.
int readDataList(ZtCReadContext& context, std::int64_t first, std::vector<DlRecord>& lists);

// Reads the HL at `link` with its DL chain. kOk or kFailed.
int readHeaderList(ZtCReadContext& context, std::int64_t link, HlRecord& record);

// Reads the storage at `link` (not 0): a plain block of id `plainId` ("##DT" or "##SD"), a DZ, a
// DL chain or an HL. Any other block fails the read. kOk or kFailed.
int readDataStorage(ZtCReadContext& context, std::int64_t link, std::string_view plainId, DataStorage& storage);

// Reads the SR chain starting at `first`, sorted by sr_interval, smallest first. kOk or kFailed.
int readSampleReductions(ZtCReadContext& context, std::int64_t first, std::vector<SrRecord>& reductions);

// The dz_org_data_length bytes the DZ block holds, inflated and (zip type 1) untransposed; nothing
// when the stream does not inflate to exactly that length, when a length does not fit in 32
// bits, when a transposition has 0 columns, when the compressed bytes do not lie in the file,
// or when the declared length is more than deflate could ever produce from them (a damaged
// header must not make the reader allocate gigabytes).
std::optional<std::vector<std::uint8_t>> decodeDz(ZtCMF4Stream& stream, const DzRecord& record);
// The same, reading the compressed bytes from `file` (`fileSize` bytes) at their offset, past any
// stream buffer and position: for a second thread while the first reads on through its stream.
std::optional<std::vector<std::uint8_t>> decodeDzAt(std::FILE* file, std::uint64_t fileSize, const DzRecord& record);

// Undoes a transposition of `columns` columns: output byte r * columns + c is input byte
// c * rows + r, rows = size / columns; the bytes beyond rows * columns stay in place.
std::vector<std::uint8_t> untranspose(const std::uint8_t* bytes, std::size_t size, std::uint32_t columns);

}  // namespace tarvik
