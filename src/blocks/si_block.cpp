#include "blocks/si_block.h"

#include "blocks/block_checks.h"
#include "blocks/field_io.h"
#include "blocks/read_context.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {
constexpr std::string_view kName = "SI Block";
}

int readSourceInfo(ZtCReadContext& context, std::int64_t link, SiRecord& record) {
    record = SiRecord{};
    if (openBlock(context, link, "##SI", record) != kOk) return kFailed;
    checkHeaderShape(context, record, {"##SI", kName, ZtCSIBlock::kLinks, ZtCSIBlock::kSize, SizeRule::Exact});

    CountedFieldReader fields(context.stream, blockBodyLength(record));
    fields(record.si_tx_name);
    fields(record.si_tx_path);
    fields(record.si_md_comment);
    checkLinkAlignments(context, kName, record.position,
                        {{"si_tx_name", record.si_tx_name}, {"si_tx_path", record.si_tx_path},
                         {"si_md_comment", record.si_md_comment}});
    siDataFields(fields, record);
    if (fields.status() != kOk) return kFailed;
    if (record.si_type > 5) raiseFieldRange(context, kName, record.position, "si_type", record.si_type);
    if (record.si_bus_type > 8) raiseFieldRange(context, kName, record.position, "si_bus_type", record.si_bus_type);

    if (readTextBlock(context, record.si_tx_name, record.name) != kOk) return kFailed;
    if (readTextBlock(context, record.si_tx_path, record.path) != kOk) return kFailed;
    return readTextRef(context, record.si_md_comment, record.comment, BlockKind::SI);
}

int ZtCSIBlock::write(ZtCMF4Stream& stream) {
    FieldWriter fields(stream);
    fields(record_.si_tx_name);
    fields(record_.si_tx_path);
    fields(record_.si_md_comment);
    siDataFields(fields, record_);
    return fields.status();
}

}  // namespace tarvik
