#include "blocks/cc_block.h"

#include <algorithm>
#include <set>
#include <string>

#include "blocks/block_checks.h"
#include "blocks/dg_block.h"
#include "blocks/field_io.h"
#include "blocks/read_context.h"
#include "findings/detail_format.h"
#include "findings/findings.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

constexpr std::string_view kName = "CC Block";
constexpr std::uint64_t kFixedLinks = 4;

// The conversion types the library does not evaluate, named as the findings name them.
const char* unsupportedTypeText(std::uint8_t type) {
    switch (type) {
    case 6: return "value range to value tabular look-up";
    case 9: return "text to value tabular look-up";
    case 10: return "text to text tabular look-up";
    default: return nullptr;
    }
}

void checkType(ZtCReadContext& context, const CcRecord& record) {
    const std::uint8_t type = record.cc_type;
    if (type <= 5 || type == 7 || type == 8) return;
    if (const char* text = unsupportedTypeText(type)) {
        const std::string_view view(text);
        context.structureFindings->addFileWarning(
            119, formatDetail(119, {record.position, std::int32_t{type},
                                    std::u16string_view(std::u16string(view.begin(), view.end()))}));
    } else {
        raiseFieldRange(context, kName, record.position, "cc_type", type);
    }
}

int readRefs(ZtCReadContext& context, CcRecord& record) {
    record.refs.resize(record.cc_ref.size());
    for (std::size_t i = 0; i < record.cc_ref.size(); ++i) {
        const std::int64_t link = record.cc_ref[i];
        CcRefEntry& entry = record.refs[i];
        const BlockKind kind = probeBlock(context.stream, link);
        if (kind == BlockKind::CC) entry.kind = 1;
        else if (kind == BlockKind::TX && readTextBlock(context, link, entry.text) != kOk) return kFailed;
    }
    return kOk;
}

int readConversion(ZtCReadContext& context, std::int64_t position, CcRecord& record) {
    if (openBlock(context, position, "##CC", record) != kOk) return kFailed;
    checkHeaderShape(context, record, {"##CC", kName, kFixedLinks, 80, SizeRule::Minimum});

    CountedFieldReader fields(context.stream, blockBodyLength(record));
    fields(record.cc_tx_name);
    fields(record.cc_md_unit);
    fields(record.cc_md_comment);
    fields(record.cc_cc_inverse);
    const std::uint64_t refCount = record.header.linkCount > kFixedLinks ? record.header.linkCount - kFixedLinks : 0;
    if (!fitsInFile(context, refCount, 8)) return kFailed;
    record.cc_ref.assign(refCount, 0);
    for (std::int64_t& link : record.cc_ref) fields(link);
    checkLinkAlignments(context, kName, position,
                        {{"cc_tx_name", record.cc_tx_name}, {"cc_md_unit", record.cc_md_unit},
                         {"cc_md_comment", record.cc_md_comment}, {"cc_cc_inverse", record.cc_cc_inverse}});
    for (std::size_t i = 0; i < record.cc_ref.size(); ++i)
        checkLinkAlignment(context, kName, position, "cc_ref[" + std::to_string(i) + "]", record.cc_ref[i]);
    ccFixedFields(fields, record);
    if (fields.remaining() >= 8ull * record.cc_val_count) {
        record.cc_val.assign(record.cc_val_count, 0.0);
        for (double& value : record.cc_val) fields(value);
    }
    if (fields.status() != kOk) return kFailed;
    checkType(context, record);

    if (readTextBlock(context, record.cc_tx_name, record.name) != kOk) return kFailed;
    if (readTextRef(context, record.cc_md_unit, record.unit, BlockKind::CC) != kOk) return kFailed;
    if (readTextRef(context, record.cc_md_comment, record.comment, BlockKind::CC) != kOk) return kFailed;
    return readRefs(context, record);
}

// The cc_ref links of the conversion at `position`, read straight from the file: the table
// needs them before the conversions themselves are read.
std::vector<std::int64_t> refLinksAt(ZtCReadContext& context, std::int64_t position) {
    ZtCMF4Stream& stream = context.stream;
    std::uint64_t linkCount = 0;
    if (stream.seekRead(static_cast<std::uint64_t>(position) + 16) != kOk || stream.read(linkCount) != kOk ||
        linkCount <= kFixedLinks || !fitsInFile(context, linkCount, 8))
        return {};
    std::vector<std::int64_t> refs(linkCount - kFixedLinks);
    if (stream.seekRead(static_cast<std::uint64_t>(position) + kBlockHeaderSize + 8 * kFixedLinks) != kOk ||
        stream.readU64Array(reinterpret_cast<std::uint64_t*>(refs.data()), refs.size()) != kOk)
        return {};
    return refs;
}

// Collects `position` and every conversion it refers to. Positions already collected are not
// followed again, which also ends reference cycles.
void collect(ZtCReadContext& context, std::int64_t position, std::set<std::int64_t>& positions) {
    std::vector<std::int64_t> pending{position};
    while (!pending.empty()) {
        const std::int64_t next = pending.back();
        pending.pop_back();
        if (next == 0 || positions.count(next) != 0) continue;
        if (probeBlock(context.stream, next) != BlockKind::CC) continue;
        positions.insert(next);
        for (std::int64_t ref : refLinksAt(context, next)) pending.push_back(ref);
    }
}

void collectChannel(ZtCReadContext& context, const CnRecord& channel, std::set<std::int64_t>& positions) {
    if (channel.cn_cc_conversion != 0) collect(context, channel.cn_cc_conversion, positions);
    if (channel.array && (channel.array->ca_flags & kCaAxis) != 0)
        for (std::int64_t link : channel.array->ca_cc_axis_conversion) collect(context, link, positions);
    for (const CnRecord& member : channel.children) collectChannel(context, member, positions);
}

void assignChannel(CnRecord& channel, const std::vector<CcRecord>& table) {
    if (channel.cn_cc_conversion != 0) channel.conversionIndex = conversionIndexAt(table, channel.cn_cc_conversion);
    for (CnRecord& member : channel.children) assignChannel(member, table);
}

}  // namespace

std::int64_t conversionIndexAt(const std::vector<CcRecord>& table, std::int64_t position) {
    const auto found = std::lower_bound(table.begin(), table.end(), position,
                                        [](const CcRecord& record, std::int64_t at) { return record.position < at; });
    return found != table.end() && found->position == position ? found - table.begin() : -1;
}

int readConversionTable(ZtCReadContext& context, std::vector<DgRecord>& dataGroups, std::vector<CcRecord>& table) {
    std::set<std::int64_t> positions;
    for (const DgRecord& dataGroup : dataGroups)
        for (const CgRecord& group : dataGroup.groups)
            for (const CnRecord& channel : group.channels) collectChannel(context, channel, positions);

    // The table is in ascending file position; a conversion's rank is its index.
    table.clear();
    table.reserve(positions.size());
    for (std::int64_t position : positions) {
        CcRecord record;
        if (readConversion(context, position, record) != kOk) return kFailed;
        record.tableIndex = static_cast<std::int64_t>(table.size());
        table.push_back(std::move(record));
    }
    for (CcRecord& conversion : table)
        for (std::size_t i = 0; i < conversion.refs.size(); ++i)
            if (conversion.refs[i].kind == 1) conversion.refs[i].conversionIndex = conversionIndexAt(table, conversion.cc_ref[i]);
    for (DgRecord& dataGroup : dataGroups)
        for (CgRecord& group : dataGroup.groups)
            for (CnRecord& channel : group.channels) assignChannel(channel, table);
    return kOk;
}

int ZtCCCBlock::write(ZtCMF4Stream& stream) {
    FieldWriter fields(stream);
    fields(record_.cc_tx_name);
    fields(record_.cc_md_unit);
    fields(record_.cc_md_comment);
    fields(record_.cc_cc_inverse);
    for (std::int64_t link : record_.cc_ref) fields(link);
    ccFixedFields(fields, record_);
    for (double value : record_.cc_val) fields(value);
    return fields.status();
}

}  // namespace tarvik
