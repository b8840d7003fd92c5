// The channels of the content tree: every channel of every group except the masters, with
// structure members as children and arrays with their dimensions and axes.
#include <algorithm>
#include <cstring>

#include "content/build_state.h"
#include "content/channel_order.h"
#include "content/host_memory.h"
#include "content/value_type.h"
#include "xml/comment_parse.h"

namespace tarvik {

namespace {

constexpr std::uint32_t bit(std::uint32_t flags, int n) { return (flags >> n) & 1u; }

std::uint32_t stringEncodingOf(std::uint8_t dataType) {
    switch (dataType) {
    case 6: return 1;  // ISO-8859-1
    case 7: return 2;  // UTF-8
    case 8: case 9: return 3;  // UTF-16
    default: return 0;
    }
}

std::uint64_t countVisible(const std::vector<CnRecord>& channels) {
    return static_cast<std::uint64_t>(std::count_if(channels.begin(), channels.end(),
                                                    [](const CnRecord& c) { return c.cn_type != kCnMaster; }));
}

bool hasDimensionOrderYX(const MF4Channel& channel) {
    return dimensionOrder(channel.properties, channel.propertyCount) == 2;
}

// Dimension sizes, and for look-up arrays one axis per dimension with its fixed values.
void buildArray(const CaRecord& array, MF4Channel& channel) {
    const std::size_t dimensions = std::min<std::size_t>(array.ca_dim_size.size(), 3);
    channel.dimensionCount = static_cast<std::uint16_t>(std::min<std::size_t>(array.ca_ndim, 0xFFFF));
    channel.inverseLayout = bit(array.ca_flags, 6);
    channel.isScalingAxis = array.ca_type == 1;
    const bool lookup = array.ca_type == 2;
    channel.isLookup = lookup;
    // A look-up table with two or more dimensions may be stored Y before X.
    const bool mirrored = lookup && dimensions >= 2 && hasDimensionOrderYX(channel);
    for (std::size_t d = 0; d < dimensions; ++d)
        channel.dimensionSizes[d] = array.ca_dim_size[mirrored ? dimensions - 1 - d : d];
    if (!lookup || array.ca_ndim == 0) return;

    channel.calibration = 1;
    channel.isScalingAxis = 0;
    std::vector<std::uint64_t> firstValue(dimensions, 0);  // where each dimension's axis values start
    for (std::size_t d = 1; d < dimensions; ++d) firstValue[d] = firstValue[d - 1] + array.ca_dim_size[d - 1];
    const bool fixed = (array.ca_flags & kCaFixedAxes) != 0;
    for (std::size_t a = 0; a < dimensions; ++a) {
        const std::size_t d = mirrored ? dimensions - 1 - a : a;
        MF4Axis* axis = channel.axes[a] = hostArray<MF4Axis>(1);
        axis->structSize = sizeof(MF4Axis);
        axis->inputChannel = axis->dynamicSizeChannel = axis->axisConversion = axis->axisChannel = -1;
        axis->axisKind = 2;
        if (!fixed) continue;
        axis->axisKind = 0;
        axis->valueCount = array.ca_dim_size[d];
        const std::uint64_t begin = std::min<std::uint64_t>(firstValue[d], array.ca_axis_value.size());
        const std::uint64_t end = std::min<std::uint64_t>(begin + array.ca_dim_size[d], array.ca_axis_value.size());
        axis->values = hostArray<double>(array.ca_dim_size[d]);
        if (end > begin) std::memcpy(axis->values, array.ca_axis_value.data() + begin, (end - begin) * sizeof(double));
    }
}

void fillChannel(BuildState& state, const CnRecord& record, std::uint64_t groupIndex, MF4Channel& channel);

// Members of a structure, or top-level channels of a group: masters are left out.
void fillChannels(BuildState& state, const std::vector<CnRecord>& records, std::uint64_t groupIndex,
                  MF4Channel* channels) {
    std::int64_t next = 0;
    for (const CnRecord& record : records) {
        if (record.cn_type == kCnMaster) continue;
        MF4Channel& channel = channels[next];
        channel.structSize = sizeof(MF4Channel);
        channel.outputChannel = channel.comparisonChannel = channel.conversion = -1;
        channel.syncAttachment = channel.lengthChannel = -1;
        ++next;
        fillChannel(state, record, groupIndex, channel);
    }
}

void fillChannel(BuildState& state, const CnRecord& record, std::uint64_t groupIndex, MF4Channel& channel) {
    const MF4ChannelGroup& group = state.root->groups[groupIndex];
    channel.name = hostText(record.name);
    if (record.source) {
        channel.sourceName = hostText(record.source->name);
        channel.sourcePath = hostText(record.source->path);
    }
    channel.valueType = valueTypeOf(record.cn_data_type, record.cn_bit_count, record.cn_type);
    channel.cycleCount = group.cycleCount;
    channel.segmentCount = group.segmentCount;
    channel.groupIndex = groupIndex;
    channel.conversion = record.conversionIndex;
    if (record.cn_type == kCnSynchronization) channel.syncAttachment = record.attachmentIndex;
    channel.syncType = record.cn_sync_type;
    channel.channelType = record.cn_type;
    channel.byteOffset = record.cn_byte_offset;
    channel.bitOffset = record.cn_bit_offset;
    channel.bitCount = record.cn_bit_count;
    channel.precisionValid = bit(record.cn_flags, 2);
    channel.precision = record.cn_precision;
    channel.limitValid = bit(record.cn_flags, 4);
    channel.extLimitValid = bit(record.cn_flags, 5);
    channel.calibration = bit(record.cn_flags, 7);
    channel.calculated = bit(record.cn_flags, 8);
    channel.isVirtual = bit(record.cn_flags, 9);
    channel.busEvent = bit(record.cn_flags, 10);
    channel.limitMin = record.cn_limit_min;
    channel.limitMax = record.cn_limit_max;
    channel.extLimitMin = record.cn_limit_ext_min;
    channel.extLimitMax = record.cn_limit_ext_max;
    channel.stringEncoding = stringEncodingOf(record.cn_data_type);
    channel.unit = unitText(state, record.unit);

    std::unique_ptr<ZtCComment> comment =
        state.comments.parse(record.comment, {BlockKind::CN, u"CN Block", record.position, u"cn_md_comment"});
    if (comment && comment->properties && comment->properties->find(u"STD_AXIS")) {
        removeProperty(*comment, u"STD_AXIS");
        state.standardAxes.insert(&record);
    }
    channel.format = takeProperty(comment.get(), u"format");
    channel.comment = CommentReader::text(record.comment, comment.get());
    if (const auto* cn = dynamic_cast<const ZtCCNComment*>(comment.get()); cn && !cn->displayName.empty())
        channel.displayName = hostText(std::u16string_view(cn->displayName));
    hostProperties(comment.get(), channel.properties, channel.propertyCount);

    if (record.array) buildArray(*record.array, channel);
    if (!record.children.empty()) {
        channel.childCount = countVisible(record.children);
        channel.children = hostArray<MF4Channel>(channel.childCount);
        fillChannels(state, record.children, groupIndex, channel.children);
    }
}

// Maximum-length channels name the channel that holds their length by its position.
void resolveLengthChannels(BuildState& state, const CgRecord& group, MF4Channel* channels) {
    for (const CnRecord& record : group.channels) {
        if (record.cn_type != kCnMaximumLength) continue;
        const auto self = state.contentIndex.find(&record);
        if (self == state.contentIndex.end()) continue;
        for (const CnRecord& target : group.channels) {
            const auto index = state.contentIndex.find(&target);
            if (target.position == record.cn_data && index != state.contentIndex.end()) {
                channels[self->second].lengthChannel = index->second;
                break;
            }
        }
    }
}

}  // namespace

void indexChannels(BuildState& state) {
    std::int64_t next = 0;
    for (const CnRecord* record : channelsInContentOrder(state.header)) state.contentIndex[record] = next++;
}

void buildChannels(BuildState& state) {
    MF4Content& root = *state.root;
    std::uint64_t count = 0;
    for (const DgRecord& dataGroup : state.header.dataGroups) count += countVisible(dataGroup.groups.front().channels);
    root.channels = hostArray<MF4Channel>(count);
    root.channelCount = count;
    indexChannels(state);

    std::uint64_t first = 0;
    for (std::size_t i = 0; i < state.header.dataGroups.size(); ++i) {
        const CgRecord& group = state.header.dataGroups[i].groups.front();
        fillChannels(state, group.channels, i, root.channels + first);
        resolveLengthChannels(state, group, root.channels);
        first += countVisible(group.channels);
    }
}

std::int64_t BuildState::channelIndexOf(const ChannelRef& ref) const {
    if (ref.dataGroup < 0 || ref.group < 0 || ref.channel < 0) return -1;
    const auto& dataGroups = header.dataGroups;
    if (static_cast<std::size_t>(ref.dataGroup) >= dataGroups.size()) return -1;
    const auto& groups = dataGroups[ref.dataGroup].groups;
    if (static_cast<std::size_t>(ref.group) >= groups.size()) return -1;
    const auto& channels = groups[ref.group].channels;
    if (static_cast<std::size_t>(ref.channel) >= channels.size()) return -1;
    const auto index = contentIndex.find(&channels[ref.channel]);
    return index == contentIndex.end() ? -1 : index->second;
}

void resolveContentArrays(BuildState& state) {
    MF4Content& root = *state.root;
    for (const DgRecord& dataGroup : state.header.dataGroups) {
        for (const CnRecord& record : dataGroup.groups.front().channels) {
            const auto index = state.contentIndex.find(&record);
            if (!record.array || index == state.contentIndex.end()) continue;
            MF4Channel& channel = root.channels[index->second];
            if (!channel.isLookup) continue;
            const CaRecord& array = *record.array;
            const std::uint32_t flags = array.ca_flags;
            if (flags & kCaOutputQuantity) channel.outputChannel = state.channelIndexOf(array.outputRef);
            if (flags & kCaComparisonQuantity) channel.comparisonChannel = state.channelIndexOf(array.comparisonRef);
            for (std::size_t d = 0; d < 3 && channel.axes[d] != nullptr; ++d) {
                MF4Axis& axis = *channel.axes[d];
                if ((flags & kCaDynamicSize) && d < array.dynamicSizeRefs.size())
                    axis.dynamicSizeChannel = state.channelIndexOf(array.dynamicSizeRefs[d]);
                if ((flags & kCaInputQuantity) && d < array.inputRefs.size())
                    axis.inputChannel = state.channelIndexOf(array.inputRefs[d]);
                if ((flags & kCaAxis) && d < array.axisConversions.size()) axis.axisConversion = array.axisConversions[d];
                if ((flags & kCaAxis) && !(flags & kCaFixedAxes) && d < array.axisRefs.size()) {
                    axis.axisChannel = state.channelIndexOf(array.axisRefs[d]);
                    const ChannelRef& ref = array.axisRefs[d];
                    const bool standard = axis.axisChannel >= 0 &&
                        state.standardAxes.count(&state.header.dataGroups[ref.dataGroup].groups[ref.group].channels[ref.channel]) != 0;
                    axis.axisKind = standard ? 1 : 2;
                }
            }
        }
    }
}

}  // namespace tarvik
