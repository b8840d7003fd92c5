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

// Bytes of one record of the group: its data bytes and invalidation bytes.
std::uint64_t recordBytesOf(const CgRecord& group) {
    return std::uint64_t{group.cg_data_bytes} + group.cg_inval_bytes;
}

ChannelEntry makeEntry(const CnRecord& channel, const MF4ReadItem& item, std::uint32_t mode,
                       std::uint64_t recordBytes) {
    ChannelEntry entry;
    entry.channel = &channel;
    entry.valueType = valueTypeOf(channel.cn_data_type, channel.cn_bit_count, channel.cn_type);
    entry.byteCount = static_cast<std::uint32_t>((std::uint64_t{channel.cn_bit_count} + 7) / 8);
    entry.a.item = item;
    entry.a.mode = mode;
    if (channel.array && item.elementIndices != nullptr) entry.elementIndices = item.elementIndices;
    if (entry.valueType == kVtRecord) {
        // At most record-size elements of at most 2^32 bits each: the product fits in 64 bits.
        const std::uint64_t elements = std::max<std::uint64_t>(elementsInRecord(channel, recordBytes), 1);
        entry.elementByteSize = (std::uint64_t{channel.cn_bit_count} * elements + 7) / 8;
        if (channel.cn_type == kCnVariableLength) entry.elementByteSize = entry.byteCount;
    }
    // Strings of variable length keep their offsets until the signal data is read.
    entry.vlsdStrings = (mode == 0 || mode == 2) && channel.cn_type == kCnVariableLength &&
                        (item.valueKind == kVtLpStr || item.valueKind == kVtLpWStr);
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

// A channel item matched to the channel block it names.
struct MatchedItem {
    const CnRecord* channel = nullptr;
    const MF4ReadItem* item = nullptr;
};

// The items among `items` that name channels of data group `index`, in the order of the
// content's channel records (items naming one record keep their list order). Items that name no
// channel block are left out.
std::vector<MatchedItem> matchItems(const MF4Content& content, const std::vector<const CnRecord*>& order,
                                    std::uint64_t index, const MF4ReadItem* items, std::uint64_t count) {
    std::vector<MatchedItem> matches;
    for (std::uint64_t c = 0; c < content.channelCount && c < order.size(); ++c) {
        if (content.channels[c].groupIndex != index) continue;
        for (std::uint64_t i = 0; i < count; ++i) {
            if (items[i].index != c) continue;
            if (const CnRecord* channel = channelOf(order, items[i])) matches.push_back({channel, &items[i]});
        }
    }
    return matches;
}

// The data group `index` names, when the tree's group record still describes it and it has a
// master channel; null otherwise.
const DgRecord* readableGroup(const MF4Content& content, const HdRecord& header, std::uint64_t index) {
    if (index >= content.groupCount || index >= header.dataGroups.size()) return nullptr;
    const DgRecord& dataGroup = header.dataGroups[index];
    const CgRecord& group = dataGroup.groups.front();
    if (!groupMatches(group, content.groups[index]) || group.masterChannel() == nullptr) return nullptr;
    return &dataGroup;
}

GroupJob newJob(const DgRecord& dataGroup, std::uint64_t index, const MF4ReadRequest& request) {
    GroupJob job;
    job.dataGroup = &dataGroup;
    job.dataGroupIndex = index;
    job.cancelFlag = request.cancelFlag;
    return job;
}

void numberEntries(GroupJob& job) {
    for (std::size_t e = 0; e < job.entries.size(); ++e) job.entries[e].entryNumber = e;
}

// Modes 0 and 2: one job per group item, its master first, then the group's channel items.
std::vector<GroupJob> groupJobs(const MF4Content& content, const HdRecord& header, const MF4ReadRequest& request) {
    const auto order = channelsInContentOrder(header);
    std::vector<GroupJob> jobs;
    for (std::uint64_t g = 0; g < request.groupItemCount; ++g) {
        const MF4ReadItem& groupItem = request.groupItems[g];
        const DgRecord* dataGroup = readableGroup(content, header, groupItem.index);
        if (dataGroup == nullptr) continue;
        const CgRecord& group = dataGroup->groups.front();
        GroupJob job = newJob(*dataGroup, groupItem.index, request);
        job.entries.push_back(makeEntry(*group.masterChannel(), groupItem, request.mode, recordBytesOf(group)));
        for (const MatchedItem& match :
             matchItems(content, order, groupItem.index, request.channelItems, request.channelItemCount))
            job.entries.push_back(makeEntry(*match.channel, *match.item, request.mode, recordBytesOf(group)));
        numberEntries(job);
        job.eventTimes = eventTimesOf(header, groupItem.index);
        jobs.push_back(std::move(job));
    }
    return jobs;
}

// Modes 1 and 3 (list B pairs with list A: the k-th match of each in a group form entry k) and
// mode 4 (list A only): one job per data group with matches, no master entry.
std::vector<GroupJob> channelJobs(const MF4Content& content, const HdRecord& header, const MF4ReadRequest& request) {
    const auto order = channelsInContentOrder(header);
    const bool paired = request.mode == 1 || request.mode == 3;
    std::vector<GroupJob> jobs;
    for (std::uint64_t g = 0; g < content.groupCount; ++g) {
        const DgRecord* dataGroup = readableGroup(content, header, g);
        if (dataGroup == nullptr) continue;
        const auto listA = matchItems(content, order, g, request.channelItems, request.channelItemCount);
        if (listA.empty()) continue;
        const auto listB = paired ? matchItems(content, order, g, request.groupItems, request.groupItemCount)
                                  : std::vector<MatchedItem>{};
        const std::uint64_t recordBytes = recordBytesOf(dataGroup->groups.front());
        GroupJob job = newJob(*dataGroup, g, request);
        for (std::size_t k = 0; k < listA.size(); ++k) {
            ChannelEntry entry = makeEntry(*listA[k].channel, *listA[k].item, request.mode, recordBytes);
            // A list-B item for another channel is not this entry's partner: its buffer would
            // be sized for another count.
            if (k < listB.size() && listB[k].channel == listA[k].channel) {
                entry.b.item = *listB[k].item;
                entry.b.mode = request.mode;
            }
            job.entries.push_back(std::move(entry));
        }
        numberEntries(job);
        if (paired) job.eventTimes = eventTimesOf(header, g);
        jobs.push_back(std::move(job));
    }
    return jobs;
}

bool countersPresent(const MF4ReadItem& item) {
    return item.valuesStored && item.valuesTotal && item.eventsStored && item.eventsTotal;
}

// Whether the caller can be told about the job: modes 0 and 2 need the counters of every item,
// mode 3 those of both lists; modes 1 and 4 write only to the counters they are given.
bool outputsPresent(const GroupJob& job, std::uint32_t mode) {
    for (const ChannelEntry& entry : job.entries) {
        if ((mode == 0 || mode == 2 || mode == 3) && !countersPresent(entry.a.item)) return false;
        if (mode == 3 && !countersPresent(entry.b.item)) return false;
    }
    return true;
}

int runJob(GroupJob& job, const HdRecord& header, ZtCMF4Stream& stream, std::uint32_t mode) {
    if (!outputsPresent(job, mode)) return 0;  // a job the caller cannot be told about is skipped
    auto strategy = createStrategy(mode, header, stream);
    if (!strategy) return 2;
    return strategy->Read(job, recordBytesOf(job.dataGroup->groups.front()));
}

}  // namespace

int readData(const MF4Content& content, ZtCBlockLayerCore& blocks, const MF4ReadRequest& request) {
    if (request.mode > 4) return 2;
    if (request.cancelFlag != nullptr && *request.cancelFlag != 0) return 0;
    for (std::uint64_t i = 0; i < request.channelItemCount && request.channelItems; ++i) resetCounters(request.channelItems[i]);
    for (std::uint64_t i = 0; i < request.groupItemCount && request.groupItems; ++i) resetCounters(request.groupItems[i]);
    const HdRecord* header = blocks.hdRecord();
    if (header == nullptr) return 0;
    if (request.groupItemCount != 0 && request.groupItems == nullptr) return 2;
    if (request.channelItemCount != 0 && request.channelItems == nullptr) return 2;

    std::vector<GroupJob> jobs = request.mode == 0 || request.mode == 2 ? groupJobs(content, *header, request)
                                                                        : channelJobs(content, *header, request);
    ZtCMF4Stream stream;
    if (stream.openRead(blocks.GetFilePath()) != 0) return 0;
    for (GroupJob& job : jobs) {
        job.decodedBlocks = &blocks.decodedBlocks();
        job.masterBounds = &blocks.masterBounds();
        if (runJob(job, *header, stream, request.mode) != 0) break;
    }
    stream.close();
    return 0;
}

}  // namespace tarvik
