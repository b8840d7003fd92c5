#include "bucket_read.h"

#include <algorithm>
#include <optional>

namespace mf4tool {

namespace {

// VARTYPE of the record indices that buckets of records give as positions.
constexpr std::uint32_t kRecordIndexType = 21;

MF4ReadItem itemFor(std::uint64_t channel, const BucketRange& range) {
    MF4ReadItem item{};
    item.structSize = sizeof(MF4ReadItem);
    item.index = channel;
    item.firstSample = range.firstSample;
    item.sampleCount = range.sampleCount;
    item.startTime = range.startTime;
    item.endTime = range.endTime;
    item.withNeighbours = range.withNeighbours ? 1 : 0;
    item.method = range.method;
    item.bucketTime = range.bucketTime;
    item.levelTime = range.levelTime;
    item.bucketSamples = range.bucketSamples;
    return item;
}

// Layout of one position per value: an array channel has one per element.
std::optional<ValueLayout> positionLayout(const MF4ChannelGroup& group, const BucketRange& range,
                                          const ValueLayout& values) {
    ValueLayout layout;
    if (range.byTime()) {
        const auto master = masterLayout(group);
        if (!master) return std::nullopt;
        layout = *master;
    } else {
        layout.valueType = kRecordIndexType;
        layout.bytesPerElement = numberSize(kRecordIndexType);
    }
    layout.isArray = values.isArray;
    layout.elementsPerRecord = values.elementsPerRecord;
    return layout;
}

}  // namespace

BucketRead::BucketRead(MF4Content& content, std::uint64_t group,
                       std::span<const std::uint64_t> channels, const BucketRange& range,
                       bool physical)
    : content_(content), range_(range) {
    const auto physicalOf = [&](std::int64_t conversion) {
        return physical && conversion >= 0 ? std::make_unique<PhysicalTexts>(content, conversion)
                                           : nullptr;
    };
    for (const std::uint64_t index : channels) {
        const auto values = channelLayout(content.channels[index]);
        const auto positions = values && numberSize(values->valueType) > 0
                                   ? positionLayout(content.groups[group], range, *values)
                                   : std::nullopt;
        if (!positions) {
            channels_.push_back(nullptr);
            continue;
        }
        Pair& pair = pairs_.emplace_back(index, *values, *positions);
        pair.valuesPhysical = physicalOf(content.channels[index].conversion);
        if (range.byTime()) pair.positionsPhysical = physicalOf(content.groups[group].masterConversion);
        channels_.push_back(&pair);
    }
}

const ValueBuffer* BucketRead::values(std::size_t i) const {
    return channels_[i] != nullptr ? &channels_[i]->values : nullptr;
}

const ValueBuffer* BucketRead::positions(std::size_t i) const {
    return channels_[i] != nullptr ? &channels_[i]->positions : nullptr;
}

const PhysicalTexts* BucketRead::valuesPhysical(std::size_t i) const {
    return channels_[i] != nullptr ? channels_[i]->valuesPhysical.get() : nullptr;
}

const PhysicalTexts* BucketRead::positionsPhysical(std::size_t i) const {
    return channels_[i] != nullptr ? channels_[i]->positionsPhysical.get() : nullptr;
}

double BucketRead::usedInterval() const {
    double interval = 0;
    for (const Pair& pair : pairs_)
        interval = std::max({interval, pair.valuesInterval, pair.positionsInterval});
    return interval;
}

bool BucketRead::countValues() {
    const std::vector<std::uint64_t> none(pairs_.size(), 0);
    return call(none) != MF4_ERRORS;
}

std::uint32_t BucketRead::read(std::uint64_t limit) {
    std::vector<std::uint64_t> samples;
    samples.reserve(pairs_.size());
    for (const Pair& pair : pairs_)
        samples.push_back(std::min(pair.values.recordsTotal(), limit));
    const std::uint32_t result = call(samples);
    for (Pair& pair : pairs_) {
        if (pair.valuesPhysical) pair.valuesPhysical->convert(pair.values);
        if (pair.positionsPhysical) pair.positionsPhysical->convert(pair.positions);
    }
    return result;
}

std::uint32_t BucketRead::call(std::span<const std::uint64_t> samples) {
    findings_.clear();
    // A request without items is not one the library takes; nothing to read is no failure.
    if (pairs_.empty()) return MF4_OK;
    std::vector<MF4ReadItem> valueItems;
    std::vector<MF4ReadItem> positionItems;
    valueItems.reserve(pairs_.size());
    positionItems.reserve(pairs_.size());
    for (std::size_t i = 0; i < pairs_.size(); ++i) {
        Pair& pair = pairs_[i];
        pair.valuesInterval = pair.positionsInterval = 0;
        pair.values.reserve(samples[i]);
        pair.positions.reserve(samples[i]);
        valueItems.push_back(itemFor(pair.channel, range_));
        pair.values.bind(valueItems.back());
        valueItems.back().usedInterval = &pair.valuesInterval;
        positionItems.push_back(itemFor(pair.channel, range_));
        pair.positions.bind(positionItems.back());
        positionItems.back().usedInterval = &pair.positionsInterval;
    }

    MF4ReadRequest request{};
    request.structSize = sizeof(MF4ReadRequest);
    request.channelItemCount = valueItems.size();
    request.channelItems = valueItems.empty() ? nullptr : valueItems.data();
    request.groupItemCount = positionItems.size();
    request.groupItems = positionItems.empty() ? nullptr : positionItems.data();
    request.mode = range_.mode;
    return ReadData(&content_, &request, findings_.array(), findings_.count());
}

}  // namespace mf4tool
