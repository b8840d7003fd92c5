#include "blocks/hd_block.h"

#include "blocks/block_checks.h"
#include "blocks/field_io.h"
#include "blocks/read_context.h"
#include "findings/detail_format.h"
#include "findings/findings.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

constexpr std::string_view kName = "HD Block";

void checkHeaderLinks(ZtCReadContext& context, const HdRecord& r) {
    checkLinkAlignments(context, kName, r.position,
                        {{"hd_dg_first", r.hd_dg_first}, {"hd_fh_first", r.hd_fh_first},
                         {"hd_ch_first", r.hd_ch_first}, {"hd_at_first", r.hd_at_first},
                         {"hd_ev_first", r.hd_ev_first}, {"hd_md_comment", r.hd_md_comment}});
    // Channel hierarchies are not evaluated by the library.
    if (r.hd_ch_first > 0)
        context.structureFindings->addFileWarning(
            114, formatDetail(114, {std::u16string_view(u"HD Block"), r.position,
                                    std::u16string_view(u"hd_ch_first(CH Block)"), r.hd_ch_first}));
    if (r.hd_fh_first == 0) raiseMissingLink(context, kName, r.position, "hd_fh_first");
}

void checkHeaderFields(ZtCReadContext& context, const HdRecord& r) {
    if (r.hd_time_class != 0 && r.hd_time_class != 10 && r.hd_time_class != 16)
        raiseFieldRange(context, kName, r.position, "hd_time_class", r.hd_time_class);
    if ((r.hd_time_flags & 2) != 0 && r.hd_dst_offset_min < 0)
        raiseFieldInconsistent(context, kName, r.position, "hd_dst_offset_min");
    if (r.hd_start_time_ns == 0)
        context.structureFindings->addFileWarning(113, formatDetail(113, {r.position, std::u16string_view(u"hd_start_time_ns")}));
}

void numberChannels(std::vector<CnRecord>& channels, std::int64_t group, std::int64_t dataGroup) {
    for (std::size_t i = 0; i < channels.size(); ++i) {
        channels[i].channelIndex = static_cast<std::int64_t>(i);
        channels[i].groupIndex = group;
        channels[i].dataGroupIndex = dataGroup;
        numberChannels(channels[i].children, group, dataGroup);
    }
}

void resolveLookupArrays(HdRecord& header) {
    for (DgRecord& dataGroup : header.dataGroups)
        for (CgRecord& group : dataGroup.groups)
            for (CnRecord& channel : group.channels)
                if (channel.array && channel.array->ca_type == 2) resolveArrayReferences(*channel.array, header);
}

}  // namespace

void numberHierarchy(HdRecord& record) {
    for (std::size_t dg = 0; dg < record.dataGroups.size(); ++dg) {
        DgRecord& dataGroup = record.dataGroups[dg];
        dataGroup.index = static_cast<std::int64_t>(dg);
        for (std::size_t cg = 0; cg < dataGroup.groups.size(); ++cg) {
            CgRecord& group = dataGroup.groups[cg];
            group.index = static_cast<std::int64_t>(cg);
            group.dataGroupIndex = dataGroup.index;
            numberChannels(group.channels, group.index, dataGroup.index);
        }
    }
}

int readHeaderBlock(ZtCReadContext& context, HdRecord& record) {
    record = HdRecord{};
    if (openBlock(context, kHeaderBlockPosition, "##HD", record) != kOk) return kFailed;
    checkHeaderShape(context, record, {"##HD", kName, ZtCHDBlock::kLinks, ZtCHDBlock::kSize, SizeRule::Exact});
    CountedFieldReader fields(context.stream, blockBodyLength(record));
    hdLinks(fields, record);
    if (fields.status() != kOk) return kFailed;
    checkHeaderLinks(context, record);
    hdDataFields(fields, record);
    if (fields.status() != kOk) return kFailed;
    checkHeaderFields(context, record);

    if (readAttachments(context, record.hd_at_first, record.attachments) != kOk) return kFailed;
    if (readDataGroups(context, record.hd_dg_first, record.dataGroups) != kOk) return kFailed;
    if (!record.dataGroups.empty() && !record.dataGroups.front().groups.empty() &&
        readConversionTable(context, record.dataGroups, record.conversions) != kOk)
        return kFailed;
    if (readFileHistory(context, record.hd_fh_first, record.history) != kOk) return kFailed;
    if ((context.options & kReadSkipEvents) == 0 &&
        readEvents(context, record.hd_ev_first, record.dataGroups, record.events) != kOk)
        return kFailed;

    numberHierarchy(record);
    resolveLookupArrays(record);
    return readTextRef(context, record.hd_md_comment, record.comment, BlockKind::HD);
}

int ZtCHDBlock::write(ZtCMF4Stream& stream) {
    FieldWriter fields(stream);
    hdLinks(fields, record_);
    hdDataFields(fields, record_);
    return fields.status();
}

}  // namespace tarvik
