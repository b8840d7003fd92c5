#include "data/sample_strategy.h"

#include <algorithm>
#include <cfloat>
#include <cstring>
#include <vector>

#include "blocks/hd_block.h"
#include "content/value_type.h"
#include "data/value_decoding.h"
#include "content/value_kinds.h"
#include "data/value_store.h"

namespace tarvik {

void ZtCSampleBasedStrategy::ComputeRanges() {
    for (std::size_t e = 0; e < job_->entries.size(); ++e) {
        const MF4ReadItem& item = job_->entries[e].a.item;
        ChannelRange& range = ranges_[e];
        range.first = item.firstSample;
        range.last = item.firstSample + item.sampleCount - 1;  // a count of 0 from 0 means all
        if (item.withNeighbours) {
            if (range.first > 0) --range.first;
            if (recordCount_ > 0 && range.last < recordCount_ - 1) ++range.last;
        }
        if (recordCount_ == 0) range.last = 0, range.first = 1;
        else if (range.last >= recordCount_) range.last = recordCount_ - 1;
    }
}

bool ZtCSampleBasedStrategy::readsTyped(const ChannelEntry& entry) const {
    const CnRecord& channel = *entry.channel;
    const bool number = isNumericKind(entry.valueType);
    return number && !channel.array && channel.cn_type != kCnVariableLength && channel.cn_type != 6 &&
           channel.cn_data_type <= 5 && entry.elementByteSize == 0 && !eventsWanted(entry);
}

void ZtCSampleBasedStrategy::readTypedWindow(ChannelEntry& entry, const std::uint8_t* window,
                                             std::uint64_t windowFirst, std::uint64_t first, std::uint64_t last) {
    OutputArea& area = entry.a;
    const std::uint64_t count = last - first + 1;
    const std::uint64_t capacity = area.item.values != nullptr ? area.item.capacity : 0;
    const std::uint64_t storable = area.produced < capacity ? std::min(count, capacity - area.produced) : 0;
    const std::uint64_t recordSize = cache_->recordSize();
    withNumericKind(entry.valueType, [&](auto type) {
        using T = decltype(type);
        const RecordField<T> field(*entry.channel, 0, recordSize);
        T* out = static_cast<T*>(area.item.values) + area.produced;
        const std::uint8_t* record = window + (first - windowFirst) * recordSize;
        for (std::uint64_t n = 0; n < storable; ++n, record += recordSize) out[n] = field.read(record);
    });
    // Every value of a scalar entry is one sample: stored while it fits, counted always.
    const bool allStoredSoFar = area.produced <= area.stored;
    area.produced += count;
    area.stored += storable;
    if (allStoredSoFar && area.item.valuesStored != nullptr) *area.item.valuesStored += storable;
    if (area.item.valuesTotal != nullptr) *area.item.valuesTotal += count;
}

void ZtCSampleBasedStrategy::EndValue(ChannelEntry& entry, std::uint64_t record) {
    CountSample(entry, eventsWanted(entry) ? MasterTime(record) : 0.0);
}

void ZtCSampleBasedStrategy::CountSample(ChannelEntry& entry, double time) {
    countSampleIn(entry.a);
    markEvents(entry, time);
}

void ZtCSampleBasedStrategy::StoreValue(ChannelEntry* entry, std::uint32_t kind, std::uint64_t record) {
    if (entry == nullptr) return;
    const CnRecord& channel = *entry->channel;
    const ChannelRange& range = ranges_[entry->entryNumber];
    const std::uint64_t recordOffset = record - range.first;
    const std::uint64_t slot = range.outputIndex;
    if (withNumericKind(kind, [&](auto type) {
            Store(*entry, recordOffset, slot, 0, GetValue<decltype(type)>(channel, record));
        }))
        return;
    OutputArea& area = entry->a;
    if (kind == kVtLpStr || kind == kVtLpWStr) {
        ++area.produced;
        if (slot >= area.item.capacity || area.item.values == nullptr) return;
        const std::uint8_t* field = fieldOf(channel, record, entry->byteCount);
        if (channel.cn_type == kCnVariableLength) {
            // The field holds an offset into the signal data, resolved after the loop. Memory for
            // the offsets grows with the records actually read, never with a declared count.
            if (entry->vlsdStrings) {
                entry->vlsdOffsets.resize(slot + 1, kNoSignalValue);
                if (field != nullptr) entry->vlsdOffsets[slot] = signalDataOffset(field, entry->byteCount);
            } else {
                static_cast<void**>(area.item.values)[slot] = nullptr;
            }
        } else {
            static_cast<void**>(area.item.values)[slot] = field != nullptr ? copyFixedString(channel, field) : nullptr;
        }
        ++area.stored;
        return;
    }
    if (kind != kVtRecord) return;
    // Raw bytes (byte arrays and whole structures, members included as they lie in the record):
    // one record's field per slot, bounded by the capacity counted in records.
    ++area.produced;
    if (recordOffset >= area.item.capacity || area.item.values == nullptr) return;
    const std::uint8_t* field = fieldOf(channel, record, entry->elementByteSize);
    auto* target = static_cast<std::uint8_t*>(area.item.values) + recordOffset * entry->elementByteSize;
    if (field != nullptr) std::memcpy(target, field, entry->elementByteSize);
    else std::memset(target, 0, entry->elementByteSize);
    ++area.stored;
}

bool ZtCSampleBasedStrategy::StoreElement(ChannelEntry& entry, std::uint32_t kind, std::uint64_t record,
                                          std::uint64_t i, std::uint64_t j, std::uint64_t k) {
    const CaRecord& array = *entry.channel->array;
    const ChannelRange& range = ranges_[entry.entryNumber];
    const std::uint64_t position =
        entry.elementIndices != nullptr ? 0 : static_cast<std::uint64_t>(elementByteOffset(array, i, j, k, 1));
    const std::int64_t byteOffset = elementByteOffset(array, i, j, k, array.ca_byte_offset_base);
    withNumericKind(kind, [&](auto type) {
        Store(entry, record - range.first, range.outputIndex + position, position,
              GetValue<decltype(type)>(*entry.channel, record, byteOffset));
    });
    return entry.a.item.values != nullptr && range.outputIndex + position + 1 < entry.a.item.capacity;
}

// Time ranges.

void ZtCTimeBasedStrategy::ComputeRanges() {
    if (recordCount_ == 0 || master_ == nullptr) return;
    const bool previous = singleRecord_;
    singleRecord_ = true;
    auto [tmin, tmax] = firstAndLastTime();
    // The end of the first range is decoded beside the search for its start.
    if (!job_->entries.empty()) prefetchNear(job_->entries.front().a.item.endTime);
    if ((master_->cn_flags & 0x08) != 0) {
        tmin = timeOfMasterValue(master_->cn_val_range_min);
        tmax = timeOfMasterValue(master_->cn_val_range_max);
    }
    for (std::size_t e = 0; e < job_->entries.size(); ++e) {
        const MF4ReadItem& item = job_->entries[e].a.item;
        ChannelRange& range = ranges_[e];
        const double s = item.startTime, end = item.endTime;
        const bool neighbours = item.withNeighbours != 0;
        range.startTime = s;
        range.endTime = end;
        const MF4ReadItem& firstItem = job_->entries[0].a.item;
        if (e > 0 && neighbours && s == firstItem.startTime && end == firstItem.endTime &&
            firstItem.withNeighbours) {
            range.first = ranges_[0].first;
            range.last = ranges_[0].last;
            range.lastEventPosition = ranges_[0].lastEventPosition;
            continue;
        }
        if (!neighbours && (s > tmax || tmin > end)) {
            range.first = 1;
            range.last = 0;
            continue;
        }
        if (tmin > s) {
            range.startTime = tmin;
            range.first = 0;
        } else {
            range.first = FindRecord(s, Bound::Lower);
            if (neighbours && range.first != kNone && range.first > 0) --range.first;
            if (range.first != kNone && range.first > 0)
                range.lastEventPosition = eventPosition(0, MasterTime(range.first - 1));
        }
        if (end > tmax) {
            range.endTime = tmax;
            range.last = recordCount_ - 1;
        } else {
            range.last = std::min(recordCount_ - 1, FindRecord(end, Bound::Upper));
            if (neighbours && range.last != kNone && range.last < recordCount_ - 1) ++range.last;
        }
        if (range.first == kNone || range.last == kNone) {
            range.first = 1;
            range.last = 0;
        }
    }
    singleRecord_ = previous;
}

}  // namespace tarvik
