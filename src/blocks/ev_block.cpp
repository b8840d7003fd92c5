#include "blocks/ev_block.h"

#include <map>
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

constexpr std::string_view kName = "EV Block";
constexpr std::uint64_t kFixedLinks = 5;

std::u16string wide(std::string_view text) { return std::u16string(text.begin(), text.end()); }

void checkEventLinks(ZtCReadContext& context, const EvRecord& r) {
    checkLinkAlignments(context, kName, r.position,
                        {{"ev_ev_next", r.ev_ev_next}, {"ev_ev_parent", r.ev_ev_parent},
                         {"ev_ev_range", r.ev_ev_range}, {"ev_tx_name", r.ev_tx_name},
                         {"ev_md_comment", r.ev_md_comment}});
    for (std::size_t i = 0; i < r.ev_scope.size(); ++i)
        checkLinkAlignment(context, kName, r.position, "ev_scope[" + std::to_string(i) + "]", r.ev_scope[i]);
    for (std::size_t i = 0; i < r.ev_at_reference.size(); ++i)
        checkLinkAlignment(context, kName, r.position, "ev_at_reference[" + std::to_string(i) + "]",
                           r.ev_at_reference[i]);
    if (r.ev_range_type != kEvRangeEnd && r.ev_ev_range > 0)
        context.structureFindings->addFileWarning(
            117, formatDetail(117, {r.position, r.ev_ev_range, std::int32_t{r.ev_range_type}}));
}

void checkEventFields(ZtCReadContext& context, const EvRecord& r) {
    if (r.ev_type > 6) raiseFieldRange(context, kName, r.position, "ev_type", r.ev_type);
    static const char* const kSyncTexts[] = {
        "synchronization value represents angle in radians",
        "synchronization value represents distance in meter",
        "synchronization value represents zero-based record index",
    };
    if (r.ev_sync_type >= 2 && r.ev_sync_type <= 4) {
        const std::u16string text = wide(kSyncTexts[r.ev_sync_type - 2]);
        context.structureFindings->addFileWarning(
            121, formatDetail(121, {r.position, std::int32_t{r.ev_sync_type}, std::u16string_view(text)}));
    } else if (r.ev_sync_type == 0 || r.ev_sync_type > 4) {
        raiseFieldRange(context, kName, r.position, "ev_sync_type", r.ev_sync_type);
    }
    if (r.ev_range_type > 2) raiseFieldRange(context, kName, r.position, "ev_range_type", r.ev_range_type);
}

// The group or channel a scope link names, by its position among the data groups read.
ChannelRef resolveScope(ZtCReadContext& context, std::int64_t link, const std::vector<DgRecord>& dataGroups,
                        BlockKind& kind) {
    kind = probeBlock(context.stream, link);
    for (std::size_t dg = 0; dg < dataGroups.size(); ++dg) {
        const auto& groups = dataGroups[dg].groups;
        for (std::size_t cg = 0; cg < groups.size(); ++cg) {
            if (kind == BlockKind::CG && groups[cg].position == link)
                return {static_cast<std::int64_t>(dg), static_cast<std::int64_t>(cg), -1};
            if (kind != BlockKind::CN) continue;
            const auto& channels = groups[cg].channels;
            for (std::size_t cn = 0; cn < channels.size(); ++cn)
                if (channels[cn].position == link)
                    return {static_cast<std::int64_t>(dg), static_cast<std::int64_t>(cg), static_cast<std::int64_t>(cn)};
        }
    }
    return {};
}

// Reads one event. kFailed when the block cannot be read, or when its scope or attachment
// links could not be (the block is then completed all the same).
int readEvent(ZtCReadContext& context, std::int64_t position, const std::vector<DgRecord>& dataGroups,
              EvRecord& record) {
    if (openBlock(context, position, "##EV", record) != kOk) return kFailed;
    checkHeaderShape(context, record, {"##EV", kName, kFixedLinks, 96, SizeRule::Minimum});
    ZtCMF4Stream& stream = context.stream;
    const std::uint64_t links = record.header.linkCount;
    const std::uint64_t linkBase = static_cast<std::uint64_t>(position) + kBlockHeaderSize;
    // The data section follows a variable number of links and says how many there are.
    if (links > UINT64_MAX / 16 || stream.seekRead(linkBase + 8 * links) != kOk) return kFailed;
    CountedFieldReader fields(stream, dataSectionLength(record));
    evDataFields(fields, record);
    if (fields.status() != kOk || stream.seekRead(linkBase) != kOk) return kFailed;

    CountedFieldReader linkFields(stream, 8 * links);
    linkFields(record.ev_ev_next);
    linkFields(record.ev_ev_parent);
    linkFields(record.ev_ev_range);
    linkFields(record.ev_tx_name);
    linkFields(record.ev_md_comment);
    if (linkFields.status() != kOk) return kFailed;
    // Links the block does not have read as 0; only those that are there are kept.
    const std::uint64_t present = linkFields.remaining() / 8;
    record.ev_scope.assign(std::min<std::uint64_t>(record.ev_scope_count, present), 0);
    for (std::int64_t& link : record.ev_scope) linkFields(link);
    record.ev_at_reference.assign(std::min<std::uint64_t>(record.ev_attachment_count, present - record.ev_scope.size()), 0);
    for (std::int64_t& link : record.ev_at_reference) linkFields(link);
    record.linksIncomplete = linkFields.status() != kOk;

    for (std::int64_t link : record.ev_scope) {
        BlockKind kind = BlockKind::None;
        record.scopeTargets.push_back(resolveScope(context, link, dataGroups, kind));
        if (record.scopeTargets.size() == 1) record.scopeKind = kind == BlockKind::CG ? 1 : kind == BlockKind::CN ? 2 : 0;
    }
    checkEventLinks(context, record);
    checkEventFields(context, record);
    if (readTextRef(context, record.ev_md_comment, record.comment, BlockKind::EV) != kOk) return kFailed;
    if (readTextBlock(context, record.ev_tx_name, record.name) != kOk) return kFailed;
    return record.linksIncomplete ? kFailed : kOk;
}

}  // namespace

int readEvents(ZtCReadContext& context, std::int64_t first, const std::vector<DgRecord>& dataGroups,
               EventChain& chain) {
    chain = EventChain{};
    std::map<std::int64_t, EvRecord> rangeBegins;
    std::vector<EvRecord> rangeEnds;
    const int status = followChain(context, first, kName, "ev_ev_next", [&](std::int64_t position, std::int64_t& next) {
        EvRecord record;
        if (readEvent(context, position, dataGroups, record) != kOk) return kFailed;
        next = record.ev_ev_next;
        chain.chainOrder.push_back(record.position);
        if (record.ev_type == kEvAcquisitionInterrupt) {
            if (record.ev_range_type == kEvRangeBegin) rangeBegins.emplace(record.position, std::move(record));
            else if (record.ev_range_type == kEvRangeEnd) rangeEnds.push_back(std::move(record));
        } else if (record.ev_type <= 6) {
            chain.events.push_back(std::move(record));
        }
        return kOk;
    });
    if (status != kOk) return kFailed;
    // An interruption is a begin and the end that points back at it; halves alone are dropped.
    for (EvRecord& end : rangeEnds) {
        const auto begin = rangeBegins.find(end.ev_ev_range);
        if (begin == rangeBegins.end()) continue;
        chain.intervals.push_back({begin->second, std::move(end)});
    }
    return kOk;
}

int ZtCEVBlock::write(ZtCMF4Stream& stream) {
    FieldWriter fields(stream);
    fields(record_.ev_ev_next);
    fields(record_.ev_ev_parent);
    fields(record_.ev_ev_range);
    fields(record_.ev_tx_name);
    fields(record_.ev_md_comment);
    for (std::int64_t link : record_.ev_scope) fields(link);
    for (std::int64_t link : record_.ev_at_reference) fields(link);
    evDataFields(fields, record_);
    return fields.status();
}

}  // namespace tarvik
