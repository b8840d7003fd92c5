#include "blocks/cn_block.h"

#include <algorithm>

#include "blocks/block_checks.h"
#include "blocks/field_io.h"
#include "blocks/read_context.h"
#include "findings/detail_format.h"
#include "findings/findings.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

constexpr std::string_view kName = "CN Block";
constexpr std::uint64_t kFixedLinks = 8;
// Deeper structures than any real writer makes are taken for a damaged file.
constexpr int kMaxNesting = 64;

void checkCnLinks(ZtCReadContext& context, const CnRecord& r) {
    checkLinkAlignments(context, kName, r.position,
                        {{"cn_cn_next", r.cn_cn_next}, {"cn_composition", r.cn_composition},
                         {"cn_tx_name", r.cn_tx_name}, {"cn_si_source", r.cn_si_source},
                         {"cn_cc_conversion", r.cn_cc_conversion}, {"cn_data", r.cn_data},
                         {"cn_md_unit", r.cn_md_unit}, {"cn_md_comment", r.cn_md_comment}});
}

// Reads one channel block of the chain; `rejected` is set when its fields rule it out.
int readChannel(ZtCReadContext& context, std::int64_t position, const std::u16string& prefix,
                CnRecord& record, bool& rejected, std::vector<std::u16string>& rejectedNames);

// The composition of a channel: a CA becomes its array, a CN chain its structure members.
int readComposition(ZtCReadContext& context, CnRecord& record, const std::u16string& prefix,
                    std::vector<std::u16string>& rejectedNames) {
    if (record.cn_composition <= 0) return kOk;
    switch (probeBlock(context.stream, record.cn_composition)) {
    case BlockKind::CA:
        record.array = std::make_unique<CaRecord>();
        return readChannelArray(context, record.cn_composition, *record.array);
    case BlockKind::CN: {
        const LinkOrigin origin{kName, record.position, "cn_composition"};
        if (context.compositionDepth >= kMaxNesting) {
            raiseFieldInconsistent(context, origin.blockName, origin.position, origin.field);
            return kFailed;
        }
        const std::u16string memberPrefix = prefix + record.name.value_or(u"") + u".";
        ++context.compositionDepth;
        const int status = readChannels(context, record.cn_composition, origin, memberPrefix,
                                        record.children, rejectedNames);
        --context.compositionDepth;
        return status;
    }
    default:
        context.structureFindings->addFileWarning(
            131, formatDetail(131, {std::u16string_view(u"CN_BLOCK"), record.position,
                                    std::u16string_view(u"cn_composition"), record.cn_composition}));
        return kOk;
    }
}

// The signal data of a variable-length channel: an SD block, or stored as records are (a DZ of
// one, a DL chain, an HL), as the writers that compress their files store it.
int readSignalData(ZtCReadContext& context, CnRecord& record) {
    if (record.cn_type != kCnVariableLength || record.cn_data == 0 || (context.options & kReadSkipData) != 0)
        return kOk;
    return readDataStorage(context, record.cn_data, "##SD", record.signalData);
}

int readChannel(ZtCReadContext& context, std::int64_t position, const std::u16string& prefix,
                CnRecord& record, bool& rejected, std::vector<std::u16string>& rejectedNames) {
    if (openBlock(context, position, "##CN", record) != kOk) return kFailed;
    ZtCCNBlock410 versioned(record);
    ZtCCNBlock400 plain(record);
    ZtCCNBlock400& block = context.version == 410 ? versioned : plain;
    block.checkHeader(context);
    if (block.read(context) != kOk) return kFailed;
    rejected = block.checkFields(context) != kOk;

    if (record.cn_type == kCnSynchronization) {
        const auto& attachments = context.attachmentPositions;
        const auto found = std::find(attachments.begin(), attachments.end(), record.cn_data);
        if (found != attachments.end()) record.attachmentIndex = found - attachments.begin();
    }
    if (readTextBlock(context, record.cn_tx_name, record.name) != kOk) return kFailed;
    if (record.cn_si_source != 0) {
        record.source.emplace();
        if (readSourceInfo(context, record.cn_si_source, *record.source) != kOk) return kFailed;
    }
    if (readComposition(context, record, prefix, rejectedNames) != kOk) return kFailed;
    if (readTextRef(context, record.cn_md_unit, record.unit, BlockKind::CN) != kOk) return kFailed;
    if (readTextRef(context, record.cn_md_comment, record.comment, BlockKind::CN) != kOk) return kFailed;
    if (rejected) {
        rejectedNames.push_back(prefix + record.name.value_or(u""));
        return kOk;
    }
    return readSignalData(context, record);
}

}  // namespace

int ZtCCNBlock400::write(ZtCMF4Stream& stream) {
    FieldWriter fields(stream);
    cnFixedLinks(fields, record_);
    if (is410())
        for (std::int64_t link : record_.cn_at_reference) fields(link);
    cnDataFields(fields, record_, is410());
    return fields.status();
}

int ZtCCNBlock400::read(ZtCReadContext& context) {
    CountedFieldReader fields(context.stream, blockBodyLength(record_));
    cnFixedLinks(fields, record_);
    checkLinks(context);
    cnDataFields(fields, record_, false);
    return fields.status();
}

int ZtCCNBlock410::read(ZtCReadContext& context) {
    CountedFieldReader fields(context.stream, blockBodyLength(record_));
    cnFixedLinks(fields, record_);
    const std::uint64_t links = record_.header.linkCount & 0xFFFF;
    if (links > kFixedLinks && fields.remaining() >= 8 * (links - kFixedLinks)) {
        record_.cn_at_reference.assign(links - kFixedLinks, 0);
        for (std::int64_t& link : record_.cn_at_reference) fields(link);
    }
    checkLinks(context);
    cnDataFields(fields, record_, true);
    return fields.status();
}

int ZtCCNBlock400::checkHeader(ZtCReadContext& context) {
    checkHeaderShape(context, record_, {"##CN", kName, 8, 160, SizeRule::Minimum});
    return kOk;
}

int ZtCCNBlock400::checkLinks(ZtCReadContext& context) {
    checkCnLinks(context, record_);
    return kOk;
}

int ZtCCNBlock400::checkFields(ZtCReadContext&) {
    const bool keep = record_.cn_type != kCnVirtualMaster && record_.cn_type <= 6 &&
                      record_.cn_sync_type <= 4 && record_.cn_data_type <= 10;
    return keep ? kOk : kFailed;
}

int readChannels(ZtCReadContext& context, std::int64_t first, const LinkOrigin& origin,
                 const std::u16string& prefix, std::vector<CnRecord>& channels,
                 std::vector<std::u16string>& rejected) {
    LinkOrigin from = origin;
    for (std::int64_t position = first; position != 0;) {
        // A channel met a second time would make the walk go round for ever.
        if (!context.channelsRead.insert(position).second) {
            raiseFieldInconsistent(context, from.blockName, from.position, from.field);
            return kFailed;
        }
        CnRecord record;
        bool isRejected = false;
        if (readChannel(context, position, prefix, record, isRejected, rejected) != kOk) return kFailed;
        from = {kName, position, "cn_cn_next"};
        position = record.cn_cn_next;
        if (!isRejected) channels.push_back(std::move(record));
    }
    return kOk;
}

}  // namespace tarvik
