#include "blocks/dg_block.h"

#include "blocks/block_checks.h"
#include "blocks/field_io.h"
#include "blocks/read_context.h"
#include "findings/findings.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

constexpr std::string_view kName = "DG Block";

int readDataGroup(ZtCReadContext& context, std::int64_t position, DgRecord& record) {
    if (openBlock(context, position, "##DG", record) != kOk) return kFailed;
    checkHeaderShape(context, record, {"##DG", kName, ZtCDGBlock::kLinks, ZtCDGBlock::kSize, SizeRule::Exact});
    CountedFieldReader fields(context.stream, blockBodyLength(record));
    dgFields(fields, record);
    if (fields.status() != kOk) return kFailed;
    checkLinkAlignments(context, kName, position,
                        {{"dg_dg_next", record.dg_dg_next}, {"dg_cg_first", record.dg_cg_first},
                         {"dg_data", record.dg_data}, {"dg_md_comment", record.dg_md_comment}});
    const std::uint8_t idSize = record.dg_rec_id_size;
    if (idSize != 0 && idSize != 1 && idSize != 2 && idSize != 4 && idSize != 8)
        raiseFieldRange(context, kName, position, "dg_rec_id_size", idSize);

    if (readChannelGroups(context, record.dg_cg_first, record.groups) != kOk) return kFailed;
    // Only sorted files are read: one channel group per data group.
    if (record.dg_cg_first != 0 && record.groups.size() != 1) {
        context.findings->addFileError(139);
        return kFailed;
    }
    if ((context.options & kReadSkipData) == 0 && record.dg_data != 0 &&
        readDataStorage(context, record.dg_data, "##DT", record.data) != kOk)
        return kFailed;
    if (idSize != 0) {
        context.findings->addFileError(146);
        return kFailed;
    }
    return kOk;
}

}  // namespace

int readDataGroups(ZtCReadContext& context, std::int64_t first, std::vector<DgRecord>& dataGroups) {
    return followChain(context, first, kName, "dg_dg_next", [&](std::int64_t position, std::int64_t& next) {
        DgRecord record;
        if (readDataGroup(context, position, record) != kOk) return kFailed;
        next = record.dg_dg_next;
        // A data group whose channel group has no master channel cannot be read by time.
        const bool hasMaster = !record.groups.empty() && record.groups.front().masterChannel() != nullptr;
        if (hasMaster) dataGroups.push_back(std::move(record));
        return kOk;
    });
}

int ZtCDGBlock::write(ZtCMF4Stream& stream) {
    FieldWriter fields(stream);
    dgFields(fields, record_);
    return fields.status();
}

}  // namespace tarvik
