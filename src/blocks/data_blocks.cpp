#include "blocks/data_blocks.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "blocks/block_checks.h"
#include "blocks/field_io.h"
#include "blocks/read_context.h"
#include "blocks/stream.h"
#include "findings/findings.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

constexpr BlockShape kDlShape{"##DL", "DL Block", 1, 48, SizeRule::Minimum};
constexpr BlockShape kHlShape{"##HL", "HL Block", 1, 40, SizeRule::Exact};
constexpr BlockShape kSrShape{"##SR", "SR Block", 2, 64, SizeRule::Exact};
constexpr BlockShape kDzShape{"##DZ", "DZ Block", 0, 48, SizeRule::Minimum};

constexpr std::uint8_t kDlEqualLength = 0x01;
constexpr std::uint8_t kHighestSyncType = 4;

// Reads `count` u64 values into `values`; the caller has made sure that the block holds them.
// A count that the block holds but the file cannot is a damaged block, refused before anything
// is allocated for it.
template <typename T>
int readU64List(ZtCReadContext& context, CountedFieldReader& fields, std::uint64_t count,
                std::vector<T>& values) {
    static_assert(sizeof(T) == sizeof(std::uint64_t));
    if (count == 0) return fields.status();
    if (!fitsInFile(context, count, sizeof(T))) return kFailed;
    values.resize(static_cast<std::size_t>(count));
    fields.bytes(values.data(), values.size() * sizeof(T));
    return fields.status();
}

// Reads the DL at `link` into `record`. A block with another id is not an error: the list just
// ends there, and `record` stays empty.
int readOneDataList(ZtCReadContext& context, std::int64_t link, DlRecord& record) {
    ZtCMF4Stream& stream = context.stream;
    char id[4];
    if (link < 0 || stream.seekRead(static_cast<std::uint64_t>(link)) != kOk ||
        stream.readBytes(id, sizeof id) != kOk)
        return kFailed;
    if (std::memcmp(id, kDlShape.id.data(), sizeof id) != 0) return kOk;
    if (readHeader(stream, kDlShape.id, record.header) != kOk) return kFailed;
    record.position = link;
    record.version = context.version;
    checkHeaderShape(context, record, kDlShape);

    CountedFieldReader fields(stream, blockBodyLength(record));
    fields(record.dl_dl_next);
    const std::uint64_t dataLinks = record.header.linkCount > 0 ? record.header.linkCount - 1 : 0;
    // Data links that run past the block's end are not read, and neither are the fields after
    // them: like every field beyond a block's end they stay 0.
    if (dataLinks <= fields.remaining() / 8) {
        if (readU64List(context, fields, dataLinks, record.dl_data) != kOk) return kFailed;
        fields(record.dl_flags);
        fields.bytes(record.dl_reserved, sizeof record.dl_reserved);
        fields(record.dl_count);
    }

    checkLinkAlignment(context, kDlShape.name, link, "dl_dl_next", record.dl_dl_next);
    for (std::size_t i = 0; i < record.dl_data.size(); ++i)
        checkLinkAlignment(context, kDlShape.name, link, "dl_data[" + std::to_string(i) + "]",
                           record.dl_data[i]);

    if (record.dl_flags & kDlEqualLength)
        fields(record.dl_equal_length);
    else if (record.dl_count <= fields.remaining() / 8)
        return readU64List(context, fields, record.dl_count, record.dl_offset);
    return fields.status();
}

// The data an SR describes: a DL chain or the header of an RD block. Any other kind leaves the
// reduction without a readable source, which fails it.
int readReductionData(ZtCReadContext& context, SrRecord& record) {
    switch (probeBlock(context.stream, record.sr_data)) {
        case BlockKind::DL:
            record.dataKind = BlockKind::DL;
            return readDataList(context, record.sr_data, record.lists);
        case BlockKind::RD:
            record.dataKind = BlockKind::RD;
            record.reductionData.emplace();
            return readDataBlockHeader(context, record.sr_data, "##RD", *record.reductionData);
        default:
            return kFailed;
    }
}

int readOneSampleReduction(ZtCReadContext& context, std::int64_t link, SrRecord& record) {
    if (openBlock(context, link, kSrShape.id, record) != kOk) return kFailed;
    checkHeaderShape(context, record, kSrShape);

    CountedFieldReader fields(context.stream, blockBodyLength(record));
    srFields(fields, record);
    if (fields.status() != kOk) return kFailed;
    // The reduction is kept without data: it still tells what was reduced and how.
    if (record.sr_data == 0) raiseMissingLink(context, kSrShape.name, link, "sr_data");
    if (record.sr_sync_type > kHighestSyncType)
        raiseFieldRange(context, kSrShape.name, link, "sr_sync_type", record.sr_sync_type);

    if (record.sr_data == 0) return kOk;
    return readReductionData(context, record);
}

// Smallest interval first. A NaN interval (a damaged block) sorts last, so that the order
// stays a strict weak ordering whatever the file holds.
bool finerInterval(const SrRecord& a, const SrRecord& b) {
    if (std::isnan(a.sr_interval)) return false;
    if (std::isnan(b.sr_interval)) return true;
    return a.sr_interval < b.sr_interval;
}

}  // namespace

int readDataBlockHeader(ZtCReadContext& context, std::int64_t link, std::string_view id,
                        DtRecord& record) {
    record = DtRecord{};
    return openBlock(context, link, id, record);
}

int readDzHeader(ZtCReadContext& context, std::int64_t link, DzRecord& record) {
    record = DzRecord{};
    if (openBlock(context, link, kDzShape.id, record) != kOk) return kFailed;
    checkHeaderShape(context, record, kDzShape);

    CountedFieldReader fields(context.stream, blockBodyLength(record));
    dzFields(fields, record);
    return fields.status();
}

bool readDzFields(ZtCMF4Stream& stream, const BlockHeader& header, std::int64_t position, DzRecord& record) {
    record = DzRecord{};
    if (header.length < DzRecord::kDataStart) return false;
    record.header = header;
    record.position = position;
    CountedFieldReader fields(stream, header.length - kBlockHeaderSize);
    dzFields(fields, record);
    return fields.status() == kOk;
}

int readDataList(ZtCReadContext& context, std::int64_t first, std::vector<DlRecord>& lists) {
    lists.clear();
    if (first == 0 || !context.stream.usable()) {
        context.structureFindings->addFileError(111);
        return kFailed;
    }
    return followChain(context, first, kDlShape.name, "dl_dl_next", [&](std::int64_t link, std::int64_t& next) {
        DlRecord& record = lists.emplace_back();
        if (readOneDataList(context, link, record) != kOk) {
            lists.pop_back();
            return kFailed;
        }
        next = record.dl_dl_next;
        return kOk;
    });
}

int readHeaderList(ZtCReadContext& context, std::int64_t link, HlRecord& record) {
    record = HlRecord{};
    if (openBlock(context, link, kHlShape.id, record) != kOk) return kFailed;
    checkHeaderShape(context, record, kHlShape);

    CountedFieldReader fields(context.stream, blockBodyLength(record));
    fields(record.hl_dl_first);
    checkLinkAlignment(context, kHlShape.name, link, "hl_dl_first", record.hl_dl_first);
    fields(record.hl_flags);
    fields(record.hl_zip_type);
    fields.bytes(record.hl_reserved, sizeof record.hl_reserved);
    if (fields.status() != kOk) return kFailed;
    return readDataList(context, record.hl_dl_first, record.lists);
}

int readDataStorage(ZtCReadContext& context, std::int64_t link, std::string_view plainId, DataStorage& storage) {
    storage = DataStorage{};
    storage.kind = probeBlock(context.stream, link);
    switch (storage.kind) {
    case BlockKind::DL:
        return readDataList(context, link, storage.lists);
    case BlockKind::HL:
        return readHeaderList(context, link, storage.headerList.emplace());
    case BlockKind::DZ:
        return readDzHeader(context, link, storage.compressed.emplace());
    case BlockKind::DT:
    case BlockKind::SD:
        if (plainId.substr(2) == (storage.kind == BlockKind::DT ? "DT" : "SD"))
            return readDataBlockHeader(context, link, plainId, storage.block.emplace());
        return kFailed;
    default:
        return kFailed;
    }
}

int readSampleReductions(ZtCReadContext& context, std::int64_t first,
                         std::vector<SrRecord>& reductions) {
    reductions.clear();
    const int result = followChain(context, first, kSrShape.name, "sr_sr_next", [&](std::int64_t link, std::int64_t& next) {
        SrRecord record;
        if (readOneSampleReduction(context, link, record) != kOk) return kFailed;
        next = record.sr_sr_next;
        reductions.push_back(std::move(record));
        return kOk;
    });
    std::stable_sort(reductions.begin(), reductions.end(), finerInterval);
    return result;
}

int ZtCDLBlock::write(ZtCMF4Stream& stream) {
    FieldWriter fields(stream);
    fields(record_.dl_dl_next);
    for (std::int64_t link : record_.dl_data) fields(link);
    fields(record_.dl_flags);
    fields.bytes(record_.dl_reserved, sizeof record_.dl_reserved);
    fields(record_.dl_count);
    if (record_.dl_flags & 1u) fields(record_.dl_equal_length);
    else
        for (std::uint64_t offset : record_.dl_offset) fields(offset);
    return fields.status();
}

int ZtCSRBlock::write(ZtCMF4Stream& stream) {
    FieldWriter fields(stream);
    srFields(fields, record_);
    return fields.status();
}

}  // namespace tarvik
