#include "content/content_builder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "blocks/cg_block.h"
#include "blocks/hd_block.h"
#include "blocks/id_block.h"
#include "blocks/inflate.h"
#include "content/build_state.h"
#include "content/content_release.h"
#include "content/host_memory.h"
#include "content/value_type.h"
#include "findings/detail_format.h"
#include "findings/findings.h"
#include "xml/xml_reader.h"

namespace tarvik {

namespace {

struct TreeReleaser {
    void operator()(MF4Content* content) const { releaseContentTree(content); }
};
using Tree = std::unique_ptr<MF4Content, TreeReleaser>;

// The MDF4 time flags as the content tree tells them.
std::uint32_t timeKindOf(std::uint8_t timeFlags) {
    switch (timeFlags) {
    case 0: return 2;  // UTC
    case 1: return 3;  // local time
    case 2: return 1;  // offsets valid
    default: return 0;
    }
}

void buildHeaderComment(BuildState& state) {
    const HdRecord& hd = state.header;
    std::unique_ptr<ZtCComment> comment =
        state.comments.parse(hd.comment, {BlockKind::HD, u"HD Block", hd.position, u"hd_md_comment"});
    state.root->headerComment = CommentReader::text(hd.comment, comment.get());
    hostProperties(comment.get(), state.root->headerProperties, state.root->headerPropertyCount);
}

void buildHeader(BuildState& state, const IdRecord& id) {
    MF4Content& root = *state.root;
    const HdRecord& hd = state.header;
    root.formatVersion = id.id_ver;
    std::memcpy(root.programId, id.id_prog, sizeof root.programId);
    root.filePath = hostText(std::u16string_view(state.path));
    buildHeaderComment(state);
    root.startTimeNs = hd.hd_start_time_ns;
    root.timeKind = timeKindOf(hd.hd_time_flags);
    if (root.timeKind == 1) {
        root.tzOffsetMin = hd.hd_tz_offset_min;
        root.dstOffsetMin = hd.hd_dst_offset_min;
    }
    root.contentFlags = hd.history.size() == 1 ? 1 : 0;
}

// The first history entry names the tool that wrote the file.
void buildToolInformation(BuildState& state) {
    if (state.header.history.empty()) return;
    const FhRecord& first = state.header.history.front();
    MF4Content& root = *state.root;
    std::unique_ptr<ZtCComment> comment =
        state.comments.parse(first.comment, {BlockKind::FH, u"FH Block", first.position, u"fh_md_comment"});
    root.historyComment = CommentReader::text(first.comment, comment.get());
    if (const auto* fh = dynamic_cast<const ZtCFHComment*>(comment.get())) {
        root.toolVendor = hostText(std::u16string_view(fh->toolVendor));
        root.toolVersion = hostText(std::u16string_view(fh->toolVersion));
    }
}

void buildHistory(BuildState& state) {
    const auto& history = state.header.history;
    MF4Content& root = *state.root;
    root.history = hostArray<MF4HistoryEntry>(history.size());
    root.historyCount = history.size();
    for (std::size_t i = 0; i < history.size(); ++i) {
        MF4HistoryEntry& entry = root.history[i];
        entry.structSize = sizeof(MF4HistoryEntry);
        entry.timeNs = history[i].fh_time_ns;
        entry.tzOffsetMin = history[i].fh_tz_offset_min;
        entry.dstOffsetMin = history[i].fh_dst_offset_min;
        entry.timeFlags = history[i].fh_time_flags;
        entry.comment = hostText(history[i].comment.text);
    }
}

// Acquisition interruptions that name data group `index` in their scope.
std::uint64_t interruptionsOf(const HdRecord& hd, std::size_t index) {
    std::uint64_t count = 0;
    for (const AcqIntervalRecord& interval : hd.events.intervals)
        for (const ChannelRef& target : interval.begin.scopeTargets)
            count += target.dataGroup == static_cast<std::int64_t>(index);
    return count;
}

// A master range as the host reads it: the master's linear conversion applied.
void applyMasterRange(const HdRecord& hd, const CnRecord& master, MF4ChannelGroup& group) {
    group.masterRangeValid = (master.cn_flags >> 3) & 1u;
    if (!group.masterRangeValid) return;
    group.masterRangeMin = master.cn_val_range_min;
    group.masterRangeMax = master.cn_val_range_max;
    if (master.conversionIndex < 0) return;
    const CcRecord& conversion = hd.conversions[static_cast<std::size_t>(master.conversionIndex)];
    if (conversion.cc_type != 1 || conversion.cc_val.size() < 2) return;
    const double p0 = conversion.cc_val[0], p1 = conversion.cc_val[1];
    group.masterRangeMin = group.masterRangeMin * p1 + p0;
    group.masterRangeMax = group.masterRangeMax * p1 + p0;
}

void buildGroup(BuildState& state, std::size_t index, MF4ChannelGroup& group) {
    const DgRecord& dataGroup = state.header.dataGroups[index];
    const CgRecord& record = dataGroup.groups.front();
    const CnRecord& master = *record.masterChannel();
    group.structSize = sizeof(MF4ChannelGroup);
    group.acquisitionName = hostText(record.acquisitionName);
    if (record.acquisitionSource) {
        const SiRecord& source = *record.acquisitionSource;
        group.sourceName = hostText(source.name);
        group.sourcePath = hostText(source.path);
        group.sourceType = source.si_type;
        group.busType = source.si_bus_type;
        std::unique_ptr<ZtCComment> comment =
            state.comments.parse(source.comment, {BlockKind::SI, u"SI Block", source.position, u"si_md_comment"});
        if (const auto* si = dynamic_cast<const ZtCSIComment*>(comment.get()); si && !si->channelNumber.empty())
            group.sourceChannelNumber = hostText(std::u16string_view(si->channelNumber));
    }
    group.masterValueType = valueTypeOf(master.cn_data_type, master.cn_bit_count, master.cn_type);
    group.dataGroupPosition = static_cast<std::uint64_t>(dataGroup.position);
    std::unique_ptr<ZtCComment> masterComment =
        state.comments.parse(master.comment, {BlockKind::CN, u"CN Block", master.position, u"cn_md_comment"});
    if (const auto* cn = dynamic_cast<const ZtCCNComment*>(masterComment.get())) group.masterRaster = cn->raster;
    group.masterConversion = master.conversionIndex;
    applyMasterRange(state.header, master, group);
    group.masterByteOffset = master.cn_byte_offset;
    group.masterBitOffset = master.cn_bit_offset;
    group.recordDataBytes = record.cg_data_bytes;
    group.cycleCount = record.cg_cycle_count;
    group.pathSeparator = state.comments.version() == 410 ? record.cg_path_separator : 0;
    if (!record.reductions.empty()) group.reductionRaster = record.reductions.front().sr_interval * 0.0625;
    std::unique_ptr<ZtCComment> comment =
        state.comments.parse(record.comment, {BlockKind::CG, u"CG Block", record.position, u"cg_md_comment"});
    group.comment = CommentReader::text(record.comment, comment.get());
    hostProperties(comment.get(), group.properties, group.propertyCount);
    group.segmentCount = 1 + interruptionsOf(state.header, index);
}

void buildGroups(BuildState& state) {
    const auto& dataGroups = state.header.dataGroups;
    state.root->groups = hostArray<MF4ChannelGroup>(dataGroups.size());
    state.root->groupCount = dataGroups.size();
    for (std::size_t i = 0; i < dataGroups.size(); ++i) buildGroup(state, i, state.root->groups[i]);
}

bool sameText(const MF4Char* a, const MF4Char* b) {
    if (a == nullptr || b == nullptr) return a == b;
    return std::u16string_view(a) == std::u16string_view(b);
}

// A channel scope entry names a channel by its block; the host gets the first channel of the
// tree with the same name and source, or channelCount when there is none.
std::uint64_t scopeChannel(const BuildState& state, const ChannelRef& target) {
    const MF4Content& root = *state.root;
    const std::int64_t index = state.channelIndexOf(target);
    if (index < 0) return root.channelCount;
    const MF4Channel& named = root.channels[index];
    for (std::uint64_t i = 0; i < root.channelCount; ++i) {
        const MF4Channel& candidate = root.channels[i];
        if (sameText(candidate.name, named.name) && sameText(candidate.sourceName, named.sourceName) &&
            sameText(candidate.sourcePath, named.sourcePath))
            return i;
    }
    return root.channelCount;
}

void buildEvent(BuildState& state, const EvRecord& record, MF4Event& event) {
    event.structSize = sizeof(MF4Event);
    event.eventType = record.ev_type;
    event.rangeType = record.ev_range_type;
    event.cause = record.ev_cause;
    event.postProcessing = record.ev_flags & 1u;
    event.scopeKind = record.scopeKind;
    event.rangeBegin = -1;
    event.position = static_cast<std::uint64_t>(record.position);
    event.syncValue = static_cast<double>(record.ev_sync_base_value) * record.ev_sync_factor;
    event.name = hostText(record.name);
    if (record.scopeKind == 1 || record.scopeKind == 2) {
        event.scopeCount = static_cast<std::uint32_t>(record.scopeTargets.size());
        event.scope = hostArray<std::uint64_t>(record.scopeTargets.size());
        for (std::size_t i = 0; i < record.scopeTargets.size(); ++i)
            event.scope[i] = record.scopeKind == 1 ? static_cast<std::uint64_t>(record.scopeTargets[i].dataGroup)
                                                   : scopeChannel(state, record.scopeTargets[i]);
    }
    std::unique_ptr<ZtCComment> comment =
        state.comments.parse(record.comment, {BlockKind::EV, u"EV Block", record.position, u"ev_md_comment"});
    event.comment = CommentReader::text(record.comment, comment.get());
    if (const auto* ev = dynamic_cast<const ZtCEVComment*>(comment.get())) {
        event.preTrigger = ev->preTrigger;
        event.postTrigger = ev->postTrigger;
        if (!ev->formulaSyntax.empty()) event.syntax = hostText(std::u16string_view(ev->formulaSyntax));
        if (state.comments.version() == 410) {
            event.timeout = ev->timeout;
            event.timeoutTriggered = ev->triggered;
        }
        event.typeProperty = static_cast<std::int32_t>(ev->typeProperty);
        event.colorProperty = static_cast<std::uint32_t>(ev->colorProperty);
        event.systemTime = ev->systemTime;
    }
}

void buildEvents(BuildState& state) {
    const auto& events = state.header.events.events;
    MF4Content& root = *state.root;
    root.events = hostArray<MF4Event>(events.size());
    root.eventCount = events.size();
    for (std::size_t i = 0; i < events.size(); ++i) buildEvent(state, events[i], root.events[i]);
    // The event that closes a range points at the one that opens it.
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i].ev_range_type != kEvRangeEnd || events[i].ev_ev_range <= 0) continue;
        for (std::size_t j = 0; j < events.size(); ++j) {
            if (events[j].position == events[i].ev_ev_range) {
                root.events[i].rangeBegin = static_cast<std::int64_t>(j);
                break;
            }
        }
    }
}

// The content of an embedded, compressed attachment: exactly one zlib stream that decodes to the
// original size, copied for the host. Null when it does not.
std::uint8_t* inflateAttachment(const AtRecord& record) {
    const std::vector<std::uint8_t>& packed = *record.data;
    if (packed.empty() || record.at_embedded_size == 0) return nullptr;
    const auto content = inflateExactly(packed.data(), packed.size(), record.at_original_size);
    if (!content) return nullptr;
    auto* copy = static_cast<std::uint8_t*>(std::malloc(std::max<std::size_t>(content->size(), 1)));
    if (copy != nullptr && !content->empty()) std::memcpy(copy, content->data(), content->size());
    return copy;
}

void buildAttachment(BuildState& state, const AtRecord& record, MF4Attachment& attachment) {
    attachment.structSize = sizeof(MF4Attachment);
    attachment.fileName = hostText(record.fileName);
    attachment.mimeType = hostText(record.mimeType);
    attachment.embedded = record.at_flags & kAtEmbedded ? 1 : 0;
    attachment.compressed = record.at_flags & kAtCompressed ? 1 : 0;
    attachment.md5Valid = record.at_flags & kAtMd5Valid ? 1 : 0;
    attachment.size = record.at_original_size;
    std::unique_ptr<ZtCComment> comment =
        state.comments.parse(record.comment, {BlockKind::AT, u"AT Block", record.position, u"str_at_md_comment"});
    attachment.comment = CommentReader::text(record.comment, comment.get());
    hostProperties(comment.get(), attachment.properties, attachment.propertyCount);
    if (!record.data) return;  // an external file that was not read
    if (attachment.embedded && attachment.compressed) {
        attachment.data = inflateAttachment(record);
        if (attachment.data == nullptr)
            state.findings.addFileWarning(134, formatDetail(134, {record.position}));
    } else if (record.data->size() >= attachment.size) {
        // A block that holds fewer bytes than it declares delivers no data rather than a part.
        attachment.data = hostArray<std::uint8_t>(attachment.size);
        if (attachment.size != 0) std::memcpy(attachment.data, record.data->data(), attachment.size);
    }
}

void buildAttachments(BuildState& state) {
    const auto& attachments = state.header.attachments;
    MF4Content& root = *state.root;
    root.attachments = hostArray<MF4Attachment>(attachments.size());
    root.attachmentCount = attachments.size();
    for (std::size_t i = 0; i < attachments.size(); ++i) buildAttachment(state, attachments[i], root.attachments[i]);
}

// Units are short texts; an MD unit contributes its TX element (its own schema is not checked).
class UnitComment final : public ZtCComment {
public:
    std::u16string_view rootElement() const override { return u"unit"; }
    std::string_view schemaFile() const override { return ""; }
};

// Builds part of a tree again after its file changed: `build` fills a scratch root that
// borrows the tree's channels (event scopes are named by them), then `take` swaps the new part
// into the tree and the old one is released with the scratch root. A failed allocation leaves
// the tree as it was.
template <typename Build, typename Take>
void rebuild(MF4Content& content, const HdRecord& header, FindingList& findings, XmlCallContext& xml,
             Build build, Take take) {
    const std::u16string path = content.filePath ? std::u16string(content.filePath) : std::u16string();
    BuildState state(header, path, findings, xml, content.formatVersion);
    Tree scratch(hostArray<MF4Content>(1));
    // Borrowed, so handed back before the scratch root and what it still holds are released.
    struct BorrowedChannels {
        MF4Content& root;
        ~BorrowedChannels() {
            root.channels = nullptr;
            root.channelCount = 0;
        }
    } borrowed{*scratch};
    scratch->channels = content.channels;
    scratch->channelCount = content.channelCount;
    state.root = scratch.get();
    build(state);
    take(content, *scratch);
}

}  // namespace

void rebuildEvents(MF4Content& content, const HdRecord& header, FindingList& findings, XmlCallContext& xml) {
    rebuild(content, header, findings, xml, [](BuildState& state) {
        // Numbering every channel costs more than the events themselves in large files; only
        // events scoped to channels need it.
        const auto& events = state.header.events.events;
        if (std::any_of(events.begin(), events.end(), [](const EvRecord& event) { return event.scopeKind == 2; }))
            indexChannels(state);
        buildEvents(state);
    }, [](MF4Content& tree, MF4Content& built) {
        std::swap(tree.events, built.events);
        std::swap(tree.eventCount, built.eventCount);
    });
}

void rebuildHistory(MF4Content& content, const HdRecord& header, FindingList& findings, XmlCallContext& xml) {
    rebuild(content, header, findings, xml, buildHistory, [](MF4Content& tree, MF4Content& built) {
        std::swap(tree.history, built.history);
        std::swap(tree.historyCount, built.historyCount);
        tree.contentFlags = tree.historyCount == 1 ? 1 : 0;
    });
}

void rebuildHeaderComment(MF4Content& content, const HdRecord& header, FindingList& findings, XmlCallContext& xml) {
    rebuild(content, header, findings, xml, buildHeaderComment, [](MF4Content& tree, MF4Content& built) {
        std::swap(tree.headerComment, built.headerComment);
        std::swap(tree.headerProperties, built.headerProperties);
        std::swap(tree.headerPropertyCount, built.headerPropertyCount);
    });
}

MF4Char* unitText(BuildState& state, const TextRef& unit) {
    if (unit.kind == BlockKind::TX) return hostText(unit.text);
    if (unit.kind != BlockKind::MD || !unit.text) return nullptr;
    UnitComment comment;
    ZtCXMLReader reader(comment);
    parseXml(state.xml, reader, *unit.text, state.comments.version(), comment.schemaFile(), nullptr);
    return hostText(std::u16string_view(comment.commentText));
}

MF4Content* buildContent(const IdRecord& id, const HdRecord& header, const std::u16string& path,
                         FindingList& findings, XmlCallContext& xml) {
    try {
        Tree tree(hostArray<MF4Content>(1));
        BuildState state(header, path, findings, xml, id.id_ver);
        state.root = tree.get();
        buildHeader(state, id);
        buildToolInformation(state);
        buildGroups(state);
        buildConversions(state);
        buildChannels(state);
        buildEvents(state);
        buildAttachments(state);
        buildHistory(state);
        resolveContentArrays(state);
        return tree.release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace tarvik
