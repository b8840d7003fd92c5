#include "blocks/fh_block.h"

#include "blocks/block_checks.h"
#include "blocks/field_io.h"
#include "blocks/read_context.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

constexpr std::string_view kName = "FH Block";

int readHistoryEntry(ZtCReadContext& context, std::int64_t position, FhRecord& record) {
    if (openBlock(context, position, "##FH", record) != kOk) return kFailed;
    checkHeaderShape(context, record, {"##FH", kName, ZtCFHBlock::kLinks, ZtCFHBlock::kSize, SizeRule::Exact});
    CountedFieldReader fields(context.stream, blockBodyLength(record));
    fhFields(fields, record);
    if (fields.status() != kOk) return kFailed;
    checkLinkAlignments(context, kName, position,
                        {{"fh_fh_next", record.fh_fh_next}, {"fh_md_comment", record.fh_md_comment}});
    if ((record.fh_time_flags & 2) != 0 && record.fh_dst_offset_min < 0)
        raiseFieldInconsistent(context, kName, position, "fh_dst_offset_min");
    return readTextRef(context, record.fh_md_comment, record.comment, BlockKind::FH);
}

}  // namespace

int readFileHistory(ZtCReadContext& context, std::int64_t first, std::vector<FhRecord>& history) {
    return followChain(context, first, kName, "fh_fh_next", [&](std::int64_t position, std::int64_t& next) {
        FhRecord& record = history.emplace_back();
        const int status = readHistoryEntry(context, position, record);
        next = record.fh_fh_next;
        return status;
    });
}

int ZtCFHBlock::write(ZtCMF4Stream& stream) {
    FieldWriter fields(stream);
    fhFields(fields, record_);
    return fields.status();
}

}  // namespace tarvik
