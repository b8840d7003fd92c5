#include "blocks/cg_block.h"

#include "blocks/block_checks.h"
#include "blocks/field_io.h"
#include "blocks/read_context.h"
#include "findings/detail_format.h"
#include "findings/findings.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

constexpr std::string_view kName = "CG Block";

// Everything below the group's own fields; any failure fails the group.
int readGroupChildren(ZtCReadContext& context, CgRecord& record) {
    std::vector<std::u16string> rejected;
    if (readChannels(context, record.cg_cn_first, {kName, record.position, "cg_cn_first"}, u"",
                     record.channels, rejected) != kOk)
        return kFailed;
    if (record.cg_sr_first != 0 && (context.options & kReadSkipData) == 0 &&
        readSampleReductions(context, record.cg_sr_first, record.reductions) != kOk)
        return kFailed;
    if (readTextBlock(context, record.cg_tx_acq_name, record.acquisitionName) != kOk) return kFailed;
    if (record.cg_si_acq_source != 0) {
        record.acquisitionSource.emplace();
        if (readSourceInfo(context, record.cg_si_acq_source, *record.acquisitionSource) != kOk) return kFailed;
    }
    if (readTextRef(context, record.cg_md_comment, record.comment, BlockKind::CG) != kOk) return kFailed;

    if (!rejected.empty()) {
        record.channelsRejected = true;
        std::u16string list;
        for (const std::u16string& name : rejected) {
            if (!list.empty()) list += u',';
            if (record.acquisitionName) list += *record.acquisitionName + u".";
            list += name;
        }
        context.structureFindings->addFileWarning(110, list);
    }
    return kOk;
}

// One group of the chain; `kept` tells whether it joins the data group's groups.
int readGroup(ZtCReadContext& context, std::int64_t position, CgRecord& record, bool& kept) {
    kept = false;
    if (openBlock(context, position, "##CG", record) != kOk) return kFailed;
    ZtCCGBlock410 versioned(record);
    ZtCCGBlock400 plain(record);
    ZtCCGBlock400& block = context.version == 410 ? versioned : plain;
    block.checkHeader(context);
    if (block.read(context) != kOk) return kFailed;
    if (block.checkFields(context) != kOk) return kOk;  // rejected, the chain goes on
    if (readGroupChildren(context, record) != kOk) return kOk;
    if (record.masterChannel() == nullptr)
        context.structureFindings->addFileWarning(132, formatDetail(132, {record.position}));
    kept = true;
    return kOk;
}

}  // namespace

const CnRecord* CgRecord::masterChannel() const {
    for (const CnRecord& channel : channels)
        if (channel.cn_type == kCnMaster) return &channel;
    return nullptr;
}

int ZtCCGBlock400::write(ZtCMF4Stream& stream) {
    FieldWriter fields(stream);
    cgLinks(fields, record_);
    cgDataFields(fields, record_, is410());
    return fields.status();
}

int ZtCCGBlock400::read(ZtCReadContext& context) {
    CountedFieldReader fields(context.stream, blockBodyLength(record_));
    cgLinks(fields, record_);
    checkLinks(context);
    cgDataFields(fields, record_, is410());
    return fields.status();
}

int ZtCCGBlock400::checkHeader(ZtCReadContext& context) {
    checkHeaderShape(context, record_, {"##CG", kName, kLinks, kSize, SizeRule::Exact});
    return kOk;
}

int ZtCCGBlock400::checkLinks(ZtCReadContext& context) {
    checkLinkAlignments(context, kName, record_.position,
                        {{"cg_cg_next", record_.cg_cg_next}, {"cg_cn_first", record_.cg_cn_first},
                         {"cg_tx_acq_name", record_.cg_tx_acq_name}, {"cg_si_acq_source", record_.cg_si_acq_source},
                         {"cg_sr_first", record_.cg_sr_first}, {"cg_md_comment", record_.cg_md_comment}});
    return kOk;
}

int ZtCCGBlock400::checkFields(ZtCReadContext& context) {
    const bool variableLengthData = (record_.cg_flags & kCgVlsd) != 0;
    if (variableLengthData) context.structureFindings->addFileWarning(123, formatDetail(123, {record_.position}));
    if (record_.cg_inval_bytes != 0)
        context.structureFindings->addFileWarning(
            124, formatDetail(124, {record_.position, static_cast<std::int32_t>(record_.cg_inval_bytes)}));
    return variableLengthData ? kFailed : kOk;
}

int readChannelGroups(ZtCReadContext& context, std::int64_t first, std::vector<CgRecord>& groups) {
    return followChain(context, first, kName, "cg_cg_next", [&](std::int64_t position, std::int64_t& next) {
        CgRecord record;
        bool kept = false;
        // A group that fails is left out; the chain goes on when its next link could be read.
        if (readGroup(context, position, record, kept) != kOk) return kOk;
        next = record.cg_cg_next;
        if (kept) groups.push_back(std::move(record));
        return kOk;
    });
}

}  // namespace tarvik
