// The data groups of a new file: per group a DG holding one CG, whose CN list starts with the
// master; structure members and array blocks are written before the channel that owns them.
#include <cstring>
#include <memory>
#include <vector>

#include "blocks/block_header.h"
#include "blocks/cg_block.h"
#include "blocks/cn_block.h"
#include "blocks/dg_block.h"
#include "blocks/si_block.h"
#include "writer/array_writer.h"
#include "writer/layout_target.h"
#include "writer/record_layout.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

constexpr std::int64_t kLinksStart = 24;
constexpr int kCnDataLink = 5;
constexpr int kCnCommentLink = 7;
constexpr int kDgDataLink = 2;
constexpr std::uint8_t kMaximumLength = 5;
constexpr std::uint8_t kSynchronization = 4;

std::uint32_t channelFlags(const MF4Channel& channel) {
    std::uint32_t flags = 0;
    if (channel.precisionValid) flags |= 1u << 2;
    if (channel.limitValid) flags |= 1u << 4;
    if (channel.extLimitValid) flags |= 1u << 5;
    if (channel.calibration) flags |= 1u << 7;
    if (channel.calculated) flags |= 1u << 8;
    if (channel.isVirtual) flags |= 1u << 9;
    if (channel.busEvent) flags |= 1u << 10;
    return flags;
}

// A channel's CN block awaiting the position of the channel that gives its length.
struct PendingLength {
    std::int64_t position;
    const MF4Channel* channel;
};

class GroupWriter {
public:
    explicit GroupWriter(LayoutTarget& target)
        : target_(target), content_(*target.session.content), arrays_(target) {}

    int writeAll(std::int64_t& first) {
        std::int64_t next = 0;
        for (std::uint64_t g = target_.session.groups.size(); g-- > 0;) {
            if (writeGroup(g, next) != kOk) return kFailed;
            next = target_.session.groups[g].dataGroupPosition;
        }
        first = next;
        return resolveReferences();
    }

private:
    ZtCMF4Stream& stream() { return target_.stream; }

    int writeSource(const MF4Char* name, const MF4Char* path, std::uint8_t type, std::uint8_t busType,
                    const std::u16string& comment, std::int64_t& link) {
        link = 0;
        if (isEmptyText(name) && isEmptyText(path)) return kOk;
        SiRecord record;
        record.si_type = type;
        record.si_bus_type = busType;
        if (target_.text(name, record.si_tx_name) != kOk || target_.text(path, record.si_tx_path) != kOk ||
            target_.comment(comment, record.si_md_comment) != kOk)
            return kFailed;
        ZtCSIBlock block(record);
        if (writeBlock(stream(), block, record, "##SI") != kOk) return kFailed;
        link = record.position;
        return kOk;
    }

    int writeCn(CnRecord& record, ChannelSlot& slot) {
        record.cn_type = slot.channelType;
        record.cn_data_type = slot.dataType;
        record.cn_byte_offset = slot.byteOffset;
        record.cn_bit_offset = slot.bitOffset;
        record.cn_bit_count = slot.bitCount;
        record.cn_flags = slot.flags;
        std::unique_ptr<ZtCCNBlock400> block = target_.session.version == 410
                                                   ? std::make_unique<ZtCCNBlock410>(record)
                                                   : std::make_unique<ZtCCNBlock400>(record);
        if (writeBlock(stream(), *block, record, "##CN") != kOk) return kFailed;
        slot.position = record.position;
        slot.linkCount = record.header.linkCount;
        return kOk;
    }

    // Writes the channels of `slots` (with their `channels`) from the last to the first; `first`
    // receives the list's head, and the last channel's next link is `next`.
    int writeChannelList(std::vector<ChannelSlot*> slots, std::int64_t next, std::int64_t& first) {
        for (std::size_t i = slots.size(); i-- > 0;) {
            if (writeChannel(*slots[i], next) != kOk) return kFailed;
            next = slots[i]->position;
        }
        first = next;
        return kOk;
    }

    int writeChannel(ChannelSlot& slot, std::int64_t next) {
        const MF4Channel& channel = *slot.channel;
        CnRecord record;
        record.cn_cn_next = next;
        if (!slot.members.empty()) {
            std::vector<ChannelSlot*> members;
            for (ChannelSlot& member : slot.members) members.push_back(&member);
            if (writeChannelList(members, 0, record.cn_composition) != kOk) return kFailed;
        } else if (channel.dimensionCount != 0 && arrays_.write(channel, (slot.bitCount + 7) / 8, record.cn_composition) != kOk) {
            return kFailed;
        }
        const std::optional<std::u16string> comment = target_.comments.channel(channel);
        if (!comment || stream().seekEnd() != kOk || target_.text(channel.name, record.cn_tx_name) != kOk ||
            writeSource(channel.sourceName, channel.sourcePath, 0, 0, u"", record.cn_si_source) != kOk ||
            target_.text(channel.unit, record.cn_md_unit) != kOk || target_.comment(*comment, record.cn_md_comment) != kOk)
            return kFailed;
        record.cn_sync_type = static_cast<std::uint8_t>(channel.syncType);
        record.cn_cc_conversion = target_.conversionLink(channel.conversion);
        record.cn_precision = channel.precision;
        record.cn_limit_min = channel.limitMin;
        record.cn_limit_max = channel.limitMax;
        record.cn_limit_ext_min = channel.extLimitMin;
        record.cn_limit_ext_max = channel.extLimitMax;
        const auto& attachments = target_.session.attachmentPositions;
        if (slot.channelType == kSynchronization && channel.syncAttachment >= 0 &&
            static_cast<std::uint64_t>(channel.syncAttachment) < attachments.size())
            record.cn_data = attachments[channel.syncAttachment];
        slot.flags = channelFlags(channel);
        if (writeCn(record, slot) != kOk) return kFailed;
        slot.signalData.linkSlot = slot.position + kLinksStart + 8 * kCnDataLink;
        if (slot.channelType == kMaximumLength) lengths_.push_back({slot.position, &channel});
        target_.keepComment(kChannelComment, slot.position, kCnCommentLink, *comment,
                            [&channel](CommentRenderer& r) { return r.channel(channel); });
        return kOk;
    }

    int writeMaster(GroupSlot& group, std::uint64_t index, std::int64_t next) {
        const MF4ChannelGroup& source = *group.group;
        ChannelSlot& master = group.master;
        CnRecord record;
        record.cn_cn_next = next;
        record.cn_sync_type = 1;
        record.cn_cc_conversion = target_.conversionLink(source.masterConversion);
        const std::u16string name = masterName(content_, index);
        const std::optional<std::u16string> comment = target_.comments.master(source);
        if (!comment || target_.text(name.c_str(), record.cn_tx_name) != kOk ||
            target_.comment(*comment, record.cn_md_comment) != kOk)
            return kFailed;
        master.flags = source.busEventGroup ? 1u << 10 : 0;
        return writeCn(record, master);
    }

    int writeGroup(std::uint64_t index, std::int64_t nextDataGroup) {
        GroupSlot& group = target_.session.groups[index];
        const MF4ChannelGroup& source = *group.group;
        std::vector<ChannelSlot*> channels;
        for (std::uint64_t c : group.channels) channels.push_back(&target_.session.channels[c]);
        std::int64_t firstChannel = 0;
        if (stream().seekEnd() != kOk || writeChannelList(channels, 0, firstChannel) != kOk ||
            writeMaster(group, index, firstChannel) != kOk)
            return kFailed;

        CgRecord record;
        record.cg_cn_first = group.master.position;
        record.cg_cycle_count = group.cycleCount = source.cycleCount;
        record.cg_flags = static_cast<std::uint16_t>((source.busEventGroup ? 2u : 0u) | (source.plainBusEventGroup ? 4u : 0u));
        record.cg_data_bytes = group.dataBytes;
        const std::optional<std::u16string> comment = target_.comments.group(source);
        const std::optional<std::u16string> sourceComment = target_.comments.groupSource(source);
        if (!comment || !sourceComment || target_.text(source.acquisitionName, record.cg_tx_acq_name) != kOk ||
            writeSource(source.sourceName, source.sourcePath, static_cast<std::uint8_t>(source.sourceType),
                        static_cast<std::uint8_t>(source.busType), *sourceComment, record.cg_si_acq_source) != kOk ||
            target_.comment(*comment, record.cg_md_comment) != kOk)
            return kFailed;
        std::unique_ptr<ZtCCGBlock400> block = target_.session.version == 410
                                                   ? std::make_unique<ZtCCGBlock410>(record)
                                                   : std::make_unique<ZtCCGBlock400>(record);
        block->setPathSeparator(source.pathSeparator);
        if (writeBlock(stream(), *block, record, "##CG") != kOk) return kFailed;
        group.channelGroupPosition = record.position;
        const MF4ChannelGroup* owner = &source;
        target_.keepComment(kGroupComment, record.position, 5, *comment,
                            [owner](CommentRenderer& r) { return r.group(*owner); });
        if (record.cg_si_acq_source != 0)
            target_.keepComment(kGroupComment, record.cg_si_acq_source, 2, *sourceComment,
                                [owner](CommentRenderer& r) { return r.groupSource(*owner); });

        DgRecord dataGroup;
        dataGroup.dg_dg_next = nextDataGroup;
        dataGroup.dg_cg_first = record.position;
        ZtCDGBlock dgBlock(dataGroup);
        if (writeBlock(stream(), dgBlock, dataGroup, "##DG") != kOk) return kFailed;
        group.dataGroupPosition = dataGroup.position;
        group.records.linkSlot = dataGroup.position + kLinksStart + 8 * kDgDataLink;
        return kOk;
    }

    // The (DG, CG, CN) positions of a top-level channel, zeros when it has none.
    void triple(std::int64_t index, std::int64_t* links) const {
        links[0] = links[1] = links[2] = 0;
        const WriteSession& session = target_.session;
        if (index < 0 || static_cast<std::uint64_t>(index) >= session.channels.size()) return;
        const std::uint64_t group = content_.channels[index].groupIndex;
        if (group >= session.groups.size()) return;
        links[0] = session.groups[group].dataGroupPosition;
        links[1] = session.groups[group].channelGroupPosition;
        links[2] = session.channels[index].position;
    }

    // The first channel of the tree's groups (depth first) with the name and source of `of`.
    std::int64_t sameChannelPosition(const MF4Channel& of) const {
        auto same = [](const MF4Char* a, const MF4Char* b) {
            return std::u16string_view(a ? a : u"") == std::u16string_view(b ? b : u"");
        };
        std::function<std::int64_t(const ChannelSlot&)> search = [&](const ChannelSlot& slot) -> std::int64_t {
            const MF4Channel& channel = *slot.channel;
            if (same(channel.name, of.name) && same(channel.sourceName, of.sourceName) && same(channel.sourcePath, of.sourcePath))
                return slot.position;
            for (const ChannelSlot& member : slot.members)
                if (std::int64_t found = search(member)) return found;
            return 0;
        };
        const std::uint64_t group = of.groupIndex;
        if (group >= target_.session.groups.size()) return 0;
        for (std::uint64_t index : target_.session.groups[group].channels)
            if (std::int64_t found = search(target_.session.channels[index])) return found;
        return 0;
    }

    // Links that name other channels are written once every channel has its position.
    int resolveReferences() {
        const auto place = [this](std::int64_t index, std::int64_t* links) { triple(index, links); };
        if (arrays_.resolve(place) != kOk) return kFailed;
        for (const PendingLength& pending : lengths_) {
            const std::int64_t index = pending.channel->lengthChannel;
            if (index < 0 || static_cast<std::uint64_t>(index) >= content_.channelCount) continue;
            const std::int64_t link = sameChannelPosition(content_.channels[index]);
            if (stream().writeAt(static_cast<std::uint64_t>(pending.position + kLinksStart + 8 * kCnDataLink), link) != kOk)
                return kFailed;
        }
        return stream().seekEnd();
    }

    LayoutTarget& target_;
    const MF4Content& content_;
    ArrayWriter arrays_;
    std::vector<PendingLength> lengths_;
};

}  // namespace

int writeDataGroups(LayoutTarget& target, std::int64_t& first) { return GroupWriter(target).writeAll(first); }

}  // namespace tarvik
