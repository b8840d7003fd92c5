#include "group_read.h"

#include <algorithm>

namespace mf4tool {

namespace {

MF4ReadItem itemFor(std::uint64_t index, const RecordRange& range) {
    MF4ReadItem item{};
    item.structSize = sizeof(MF4ReadItem);
    item.index = index;
    item.firstSample = range.firstSample;
    item.sampleCount = range.sampleCount;
    item.startTime = range.startTime;
    item.endTime = range.endTime;
    item.withNeighbours = range.withNeighbours ? 1 : 0;
    return item;
}

}  // namespace

void CallFindings::clear() {
    if (errors_ != nullptr) FreeErrors(errors_, count_);
    errors_ = nullptr;
    count_ = 0;
}

std::span<const MF4Error> CallFindings::items() const {
    if (errors_ == nullptr) return {};
    return {errors_, static_cast<std::size_t>(count_)};
}

GroupRead::GroupRead(MF4Content& content, std::uint64_t group,
                     std::span<const std::uint64_t> channels, bool physical)
    : content_(content), group_(group) {
    const auto physicalOf = [&](std::int64_t conversion) {
        return physical && conversion >= 0 ? std::make_unique<PhysicalTexts>(content, conversion)
                                           : nullptr;
    };
    // A group without a numeric master still needs its item: it carries the group's counters.
    buffers_.emplace_back(masterLayout(content.groups[group]).value_or(ValueLayout{}));
    physical_.push_back(physicalOf(content.groups[group].masterConversion));
    for (const std::uint64_t index : channels) {
        const auto layout = channelLayout(content.channels[index]);
        if (!layout) {
            channels_.push_back(nullptr);
            bufferOf_.push_back(0);
            continue;
        }
        channelIndices_.push_back(index);
        channels_.push_back(&buffers_.emplace_back(*layout));
        bufferOf_.push_back(buffers_.size() - 1);
        physical_.push_back(physicalOf(content.channels[index].conversion));
    }
}

const PhysicalTexts* GroupRead::channelPhysical(std::size_t i) const {
    return bufferOf_[i] == 0 ? nullptr : physical_[bufferOf_[i]].get();
}

const ValueBuffer* GroupRead::master() const {
    return buffers_.front().layout().bytesPerElement == 0 ? nullptr : &buffers_.front();
}

std::uint64_t GroupRead::recordsStored() const {
    if (master() != nullptr) return buffers_.front().recordsStored();
    // Without master values the channels tell how far the read came.
    std::uint64_t records = 0;
    for (std::size_t i = 1; i < buffers_.size(); ++i)
        records = std::max(records, buffers_[i].recordsStored());
    return records;
}

std::optional<std::uint64_t> GroupRead::countRecords(const RecordRange& range) {
    if (call(range, 0) == MF4_ERRORS) return std::nullopt;
    return buffers_.front().recordsTotal();
}

std::uint32_t GroupRead::read(const RecordRange& range, std::uint64_t records) {
    const std::uint32_t result = call(range, records);
    for (std::size_t i = 0; i < buffers_.size(); ++i)
        if (physical_[i]) physical_[i]->convert(buffers_[i]);
    return result;
}

std::uint32_t GroupRead::call(const RecordRange& range, std::uint64_t records) {
    for (ValueBuffer& buffer : buffers_) buffer.reserve(records);
    MF4ReadItem groupItem = itemFor(group_, range);
    buffers_.front().bind(groupItem);
    std::vector<MF4ReadItem> channelItems;
    channelItems.reserve(channelIndices_.size());
    for (std::size_t i = 0; i < channelIndices_.size(); ++i) {
        channelItems.push_back(itemFor(channelIndices_[i], range));
        buffers_[i + 1].bind(channelItems.back());
    }

    MF4ReadRequest request{};
    request.structSize = sizeof(MF4ReadRequest);
    request.channelItemCount = channelItems.size();
    request.channelItems = channelItems.empty() ? nullptr : channelItems.data();
    request.groupItemCount = 1;
    request.groupItems = &groupItem;
    request.mode = range.mode;
    findings_.clear();
    return ReadData(&content_, &request, findings_.array(), findings_.count());
}

}  // namespace mf4tool
