// The data groups of a new file: per group a DG holding one CG, whose CN list starts with the
// master; structure members and array blocks are written before the channel that owns them.
#include <cstring>
#include <memory>
#include <vector>

#include "blocks/block_header.h"
#include "blocks/ca_block.h"
#include "blocks/cg_block.h"
#include "blocks/cn_block.h"
#include "blocks/dg_block.h"
#include "blocks/si_block.h"
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

// An array block whose references to other channels are filled in once every channel has
// its position.
struct PendingArray {
    CaRecord record;
    const MF4Channel* channel;
};

// A channel's CN block awaiting the position of the channel that gives its length.
struct PendingLength {
    std::int64_t position;
    const MF4Channel* channel;
};

class GroupWriter {
public:
    explicit GroupWriter(LayoutTarget& target) : target_(target), content_(*target.session.content) {}

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

    std::int64_t conversionLink(std::int64_t index) const {
        const auto& positions = target_.session.conversionPositions;
        return index >= 0 && static_cast<std::uint64_t>(index) < positions.size() ? positions[index] : 0;
    }

    int writeArray(const MF4Channel& channel, const ChannelSlot& slot, std::int64_t& link) {
        PendingArray pending{{}, &channel};
        CaRecord& array = pending.record;
        const std::uint16_t dimensions = std::min<std::uint16_t>(channel.dimensionCount, 3);
        array.ca_type = channel.isLookup ? 2 : channel.isScalingAxis ? 1 : 0;
        array.ca_ndim = dimensions;
        array.ca_byte_offset_base = static_cast<std::int32_t>((slot.bitCount + 7) / 8);
        array.ca_dim_size.assign(channel.dimensionSizes, channel.dimensionSizes + dimensions);
        if (channel.inverseLayout) array.ca_flags |= kCaInverseLayout;
        bool fixedAxes = dimensions != 0, anyAxis = false, input = false, dynamic = false;
        for (std::uint16_t d = 0; d < dimensions; ++d) {
            const MF4Axis* axis = channel.axes[d];
            fixedAxes = fixedAxes && axis != nullptr && axis->axisKind == 0;
            anyAxis = anyAxis || (axis != nullptr && (axis->axisKind != 2 || axis->axisChannel >= 0 || axis->axisConversion >= 0));
            input = input || (axis != nullptr && axis->inputChannel >= 0);
            dynamic = dynamic || (axis != nullptr && axis->dynamicSizeChannel >= 0);
        }
        if (channel.isLookup) {
            if (dynamic) array.ca_flags |= kCaDynamicSize;
            if (input) array.ca_flags |= kCaInputQuantity;
            if (channel.outputChannel >= 0) array.ca_flags |= kCaOutputQuantity;
            if (channel.comparisonChannel >= 0) array.ca_flags |= kCaComparisonQuantity;
            if (fixedAxes || anyAxis) array.ca_flags |= kCaAxis;
            if (fixedAxes) array.ca_flags |= kCaFixedAxes;
        }
        // Every link array starts zero and is filled once the channels have positions.
        const std::uint64_t n = dimensions;
        if (array.ca_flags & kCaDynamicSize) array.ca_dynamic_size.assign(3 * n, 0);
        if (array.ca_flags & kCaInputQuantity) array.ca_input_quantity.assign(3 * n, 0);
        if (array.ca_flags & kCaOutputQuantity) array.ca_output_quantity.assign(3, 0);
        if (array.ca_flags & kCaComparisonQuantity) array.ca_comparison_quantity.assign(3, 0);
        if (array.ca_flags & kCaAxis) {
            for (std::uint16_t d = 0; d < dimensions; ++d)
                array.ca_cc_axis_conversion.push_back(channel.axes[d] ? conversionLink(channel.axes[d]->axisConversion) : 0);
            if (!fixedAxes) array.ca_axis.assign(3 * n, 0);
        }
        if (fixedAxes) {
            for (std::uint16_t d = 0; d < dimensions; ++d) {
                const MF4Axis& axis = *channel.axes[d];
                for (std::uint64_t v = 0; v < channel.dimensionSizes[d]; ++v)
                    array.ca_axis_value.push_back(axis.values != nullptr && v < axis.valueCount ? axis.values[v] : 0.0);
            }
        }
        ZtCCABlock400 block(array);
        if (writeBlock(stream(), block, array, "##CA") != kOk) return kFailed;
        link = array.position;
        if (array.ca_flags & (kCaDynamicSize | kCaInputQuantity | kCaOutputQuantity | kCaComparisonQuantity)) arrays_.push_back(std::move(pending));
        else if ((array.ca_flags & kCaAxis) && !fixedAxes) arrays_.push_back(std::move(pending));
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
        } else if (channel.dimensionCount != 0 && writeArray(channel, slot, record.cn_composition) != kOk) {
            return kFailed;
        }
        const std::optional<std::u16string> comment = target_.comments.channel(channel);
        if (!comment || stream().seekEnd() != kOk || target_.text(channel.name, record.cn_tx_name) != kOk ||
            writeSource(channel.sourceName, channel.sourcePath, 0, 0, u"", record.cn_si_source) != kOk ||
            target_.text(channel.unit, record.cn_md_unit) != kOk || target_.comment(*comment, record.cn_md_comment) != kOk)
            return kFailed;
        record.cn_sync_type = static_cast<std::uint8_t>(channel.syncType);
        record.cn_cc_conversion = conversionLink(channel.conversion);
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
        record.cn_cc_conversion = conversionLink(source.masterConversion);
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
        for (PendingArray& pending : arrays_) {
            CaRecord& array = pending.record;
            const MF4Channel& channel = *pending.channel;
            for (std::uint16_t d = 0; d < array.ca_ndim; ++d) {
                const MF4Axis* axis = channel.axes[d];
                if (axis == nullptr) continue;
                if (!array.ca_dynamic_size.empty()) triple(axis->dynamicSizeChannel, &array.ca_dynamic_size[3 * d]);
                if (!array.ca_input_quantity.empty()) triple(axis->inputChannel, &array.ca_input_quantity[3 * d]);
                if (!array.ca_axis.empty()) triple(axis->axisChannel, &array.ca_axis[3 * d]);
            }
            if (!array.ca_output_quantity.empty()) triple(channel.outputChannel, array.ca_output_quantity.data());
            if (!array.ca_comparison_quantity.empty()) triple(channel.comparisonChannel, array.ca_comparison_quantity.data());
            ZtCCABlock400 block(array);
            if (stream().seekWrite(static_cast<std::uint64_t>(array.position)) != kOk ||
                writeBlock(stream(), block, array, "##CA") != kOk)
                return kFailed;
        }
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
    std::vector<PendingArray> arrays_;
    std::vector<PendingLength> lengths_;
};

}  // namespace

int writeDataGroups(LayoutTarget& target, std::int64_t& first) { return GroupWriter(target).writeAll(first); }

}  // namespace tarvik
