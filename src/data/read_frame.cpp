#include "data/read_frame.h"

#include <algorithm>
#include <optional>
#include <string>

#include "blocks/block_layer.h"
#include "blocks/hd_block.h"
#include "blocks/stream.h"
#include "content/channel_order.h"
#include "content/value_type.h"
#include "data/read_strategy.h"

namespace tarvik {

namespace {

bool sameText(const std::optional<std::u16string>& block, const MF4Char* content) {
    if (!block || content == nullptr) return !block && content == nullptr;
    return *block == std::u16string_view(content);
}

// The group record must still describe the channel group it was made from.
bool groupMatches(const CgRecord& group, const MF4ChannelGroup& record) {
    const std::optional<std::u16string> none;
    const auto& source = group.acquisitionSource;
    return sameText(group.acquisitionName, record.acquisitionName) &&
           sameText(source ? source->name : none, record.sourceName) &&
           sameText(source ? source->path : none, record.sourcePath);
}

void resetCounters(const MF4ReadItem& item) {
    for (std::uint64_t* counter : {item.valuesStored, item.valuesTotal, item.eventsStored, item.eventsTotal})
        if (counter != nullptr) *counter = 0;
}

ChannelEntry makeEntry(const CnRecord& channel, const MF4ReadItem& item, std::uint32_t mode,
                       std::uint64_t recordCount) {
    ChannelEntry entry;
    entry.channel = &channel;
    entry.valueType = valueTypeOf(channel.cn_data_type, channel.cn_bit_count, channel.cn_type);
    entry.byteCount = static_cast<std::uint32_t>((std::uint64_t{channel.cn_bit_count} + 7) / 8);
    entry.a.item = item;
    entry.a.mode = mode;
    if (channel.array && item.elementIndices != nullptr) entry.elementIndices = item.elementIndices;
    if (entry.valueType == kVtRecord) {
        const std::uint64_t elements = channel.array ? std::max<std::uint64_t>(channel.array->elementCount, 1) : 1;
        entry.elementByteSize = static_cast<std::uint32_t>((channel.cn_bit_count * elements + 7) / 8);
        if (channel.cn_type == kCnVariableLength) entry.elementByteSize = entry.byteCount;
    }
    // Strings of variable length keep their offsets until the signal data is read.
    const bool vlsdString = channel.cn_type == kCnVariableLength && (item.valueKind == kVtLpStr || item.valueKind == kVtLpWStr);
    if (vlsdString) entry.vlsdOffsets.assign(std::min(item.capacity, recordCount) * entry.byteCount, 0);
    return entry;
}

// The channel block a channel item names, descending through structure members.
const CnRecord* channelOf(const std::vector<const CnRecord*>& order, const MF4ReadItem& item) {
    if (item.index >= order.size()) return nullptr;
    const CnRecord* channel = order[item.index];
    if (item.memberCount != 0 && item.memberPath != nullptr) {
        for (std::uint64_t step = 0; step < item.memberCount; ++step) {
            const auto members = membersInContentOrder(*channel);
            if (item.memberPath[step] >= members.size()) return nullptr;
            channel = members[item.memberPath[step]];
        }
    }
    return channel;
}

// Acquisition interruptions whose scope names the data group, as event times in the order of
// their end times.
std::vector<double> eventTimesOf(const HdRecord& header, std::uint64_t dataGroup) {
    std::vector<const AcqIntervalRecord*> intervals;
    for (const AcqIntervalRecord& interval : header.events.intervals)
        if (!interval.begin.scopeTargets.empty() &&
            interval.begin.scopeTargets.front().dataGroup == static_cast<std::int64_t>(dataGroup))
            intervals.push_back(&interval);
    std::stable_sort(intervals.begin(), intervals.end(), [](const auto* a, const auto* b) {
        return a->end.ev_sync_factor < b->end.ev_sync_factor;
    });
    std::vector<double> times;
    for (const AcqIntervalRecord* interval : intervals) {
        const EvRecord& b = interval->begin;
        const EvRecord& e = interval->end;
        times.push_back((static_cast<double>(b.ev_sync_base_value) * b.ev_sync_factor +
                         static_cast<double>(e.ev_sync_base_value) * e.ev_sync_factor) * 0.5);
    }
    return times;
}

// One job per group item: the master first, then the channel items of that group.
std::vector<GroupJob> groupJobs(const MF4Content& content, const HdRecord& header, const MF4ReadRequest& request) {
    const auto order = channelsInContentOrder(header);
    std::vector<GroupJob> jobs;
    for (std::uint64_t g = 0; g < request.groupItemCount; ++g) {
        const MF4ReadItem& groupItem = request.groupItems[g];
        const std::uint64_t index = groupItem.index;
        if (index >= content.groupCount || index >= header.dataGroups.size()) continue;
        const DgRecord& dataGroup = header.dataGroups[index];
        const CgRecord& group = dataGroup.groups.front();
        if (!groupMatches(group, content.groups[index]) || group.masterChannel() == nullptr) continue;
        GroupJob job;
        job.dataGroup = &dataGroup;
        job.dataGroupIndex = index;
        job.cancelFlag = request.cancelFlag;
        const CnRecord& master = *group.masterChannel();
        job.entries.push_back(makeEntry(master, groupItem, request.mode, group.cg_cycle_count));
        for (std::uint64_t c = 0; c < content.channelCount && c < order.size(); ++c) {
            if (content.channels[c].groupIndex != index) continue;
            for (std::uint64_t i = 0; i < request.channelItemCount; ++i) {
                const MF4ReadItem& item = request.channelItems[i];
                if (item.index != c) continue;
                const CnRecord* channel = channelOf(order, item);
                if (channel == nullptr) continue;
                job.entries.push_back(makeEntry(*channel, item, request.mode, group.cg_cycle_count));
            }
        }
        for (std::size_t e = 0; e < job.entries.size(); ++e) job.entries[e].entryNumber = e;
        job.eventTimes = eventTimesOf(header, index);
        jobs.push_back(std::move(job));
    }
    return jobs;
}

bool outputsPresent(const GroupJob& job) {
    for (const ChannelEntry& entry : job.entries) {
        const MF4ReadItem& item = entry.a.item;
        if (!item.valuesStored || !item.valuesTotal || !item.eventsStored || !item.eventsTotal) return false;
    }
    return true;
}

int runJob(GroupJob& job, const HdRecord& header, ZtCMF4Stream& stream, std::uint32_t mode) {
    if (!outputsPresent(job)) return 0;  // a job the caller cannot be told about is skipped
    auto strategy = createStrategy(mode, header, stream);
    if (!strategy) return 2;
    const CgRecord& group = job.dataGroup->groups.front();
    return strategy->Read(job, std::uint64_t{group.cg_data_bytes} + group.cg_inval_bytes);
}

}  // namespace

int readData(const MF4Content& content, ZtCBlockLayerCore& blocks, const MF4ReadRequest& request) {
    if (request.mode > 4) return 2;
    if (request.cancelFlag != nullptr && *request.cancelFlag != 0) return 0;
    for (std::uint64_t i = 0; i < request.channelItemCount && request.channelItems; ++i) resetCounters(request.channelItems[i]);
    for (std::uint64_t i = 0; i < request.groupItemCount && request.groupItems; ++i) resetCounters(request.groupItems[i]);
    const HdRecord* header = blocks.hdRecord();
    if (header == nullptr) return 0;
    // Reduced reading and original time stamps are not part of this version of the library.
    if (request.mode != 0 && request.mode != 2) return 2;
    if (request.groupItemCount != 0 && request.groupItems == nullptr) return 2;
    if (request.channelItemCount != 0 && request.channelItems == nullptr) return 2;

    std::vector<GroupJob> jobs = groupJobs(content, *header, request);
    ZtCMF4Stream stream;
    if (stream.openRead(blocks.GetFilePath()) != 0) return 0;
    for (GroupJob& job : jobs)
        if (runJob(job, *header, stream, request.mode) != 0) break;
    stream.close();
    return 0;
}

}  // namespace tarvik
