#include "data/sample_strategy.h"

#include <algorithm>
#include <cfloat>
#include <cstring>
#include <vector>

#include "blocks/hd_block.h"
#include "content/value_type.h"
#include "data/value_decoding.h"
#include "data/value_kinds.h"
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

bool ZtCSampleBasedStrategy::readsScalarNumbers(const ChannelEntry& entry) const {
    const CnRecord& channel = *entry.channel;
    const bool number = withNumericKind(entry.valueType, [](auto) {});
    const bool eventsWanted = entry.a.item.eventCapacity != 0 && !job_->eventTimes.empty();
    return number && !channel.array && channel.cn_type != kCnVariableLength && channel.cn_type != 6 &&
           channel.cn_data_type <= 5 && entry.elementByteSize == 0 && !eventsWanted;
}

void ZtCSampleBasedStrategy::readScalarWindow(ChannelEntry& entry, const std::uint8_t* window,
                                              std::uint64_t windowFirst, std::uint64_t first, std::uint64_t last) {
    OutputArea& area = entry.a;
    const CnRecord& channel = *entry.channel;
    const std::uint64_t count = last - first + 1;
    const std::uint64_t capacity = area.item.values != nullptr ? area.item.capacity : 0;
    const std::uint64_t storable = area.produced < capacity ? std::min(count, capacity - area.produced) : 0;
    const std::uint64_t recordSize = cache_->recordSize();
    const std::uint64_t fieldEnd =
        channel.cn_byte_offset + (std::uint64_t{channel.cn_bit_offset} + channel.cn_bit_count + 7) / 8;
    withNumericKind(entry.valueType, [&](auto type) {
        using T = decltype(type);
        T* out = static_cast<T*>(area.item.values) + area.produced;
        if (fieldEnd > recordSize) {  // a damaged channel reads as 0
            std::fill(out, out + storable, T{});
            return;
        }
        const bool bigEndian = isBigEndian(channel.cn_data_type, channel.cn_type);
        const std::uint8_t* record = window + (first - windowFirst) * recordSize;
        for (std::uint64_t n = 0; n < storable; ++n, record += recordSize)
            out[n] = decodeField<T>(record, channel.cn_byte_offset, channel.cn_bit_offset, channel.cn_bit_count, bigEndian);
    });
    // Every value of a scalar entry is one sample: stored while it fits, counted always.
    const bool allStoredSoFar = area.produced <= area.stored;
    area.produced += count;
    area.stored += storable;
    if (allStoredSoFar && area.item.valuesStored != nullptr) *area.item.valuesStored += storable;
    if (area.item.valuesTotal != nullptr) *area.item.valuesTotal += count;
}

int ZtCSampleBasedStrategy::ReadRecords() {
    std::uint64_t first = 0, last = 0;
    if (!loopRange(first, last)) return 0;
    loopLast_ = last;
    std::vector<bool> typed(job_->entries.size());
    for (std::size_t e = 0; e < typed.size(); ++e) typed[e] = readsScalarNumbers(job_->entries[e]);
    for (std::uint64_t r = first; r <= last;) {
        if (job_->cancelled()) {
            loopLast_ = kNone;
            return 3;
        }
        const std::uint8_t* window = recordBytes(r);
        // The data ends here (a damaged or cut file): the records that exist were delivered. A
        // damaged record count could otherwise keep the loop counting for ever.
        if (window == nullptr) break;
        const std::uint64_t windowLast = std::min(cache_->lastHeld(), last);
        for (std::size_t e = 0; e < job_->entries.size(); ++e) {
            ChannelEntry& entry = job_->entries[e];
            const ChannelRange& range = ranges_[e];
            const std::uint64_t from = std::max(r, range.first), to = std::min(windowLast, range.last);
            if (range.empty() || from > to) continue;
            if (typed[e]) {
                readScalarWindow(entry, window, r, from, to);
            } else {
                for (std::uint64_t record = from; record <= to; ++record) ProcessEntry(entry, record);
            }
        }
        r = windowLast + 1;
    }
    loopLast_ = kNone;
    FinishEntries();
    return 0;
}

void ZtCSampleBasedStrategy::EndValue(ChannelEntry& entry, std::uint64_t record) {
    const bool needsTime = entry.a.item.eventCapacity != 0 && !job_->eventTimes.empty();
    CountSample(entry, needsTime ? MasterTime(record) : 0.0);
}

std::uint64_t ZtCSampleBasedStrategy::eventPosition(std::uint64_t cursor, double time) const {
    const auto& times = job_->eventTimes;
    while (cursor < times.size() && times[cursor] < time) ++cursor;
    return cursor;
}

void ZtCSampleBasedStrategy::CountSample(ChannelEntry& entry, double time) {
    OutputArea& area = entry.a;
    const MF4ReadItem& item = area.item;
    if (area.produced <= area.stored && item.valuesStored != nullptr) ++*item.valuesStored;
    if (item.valuesTotal != nullptr) ++*item.valuesTotal;
    if (item.eventCapacity == 0) return;
    ChannelRange& range = ranges_[entry.entryNumber];
    range.eventCursor = eventPosition(range.eventCursor, time);
    const std::uint64_t position = range.eventCursor;
    if (range.lastEventPosition != kNone && position <= range.lastEventPosition) return;
    range.lastEventPosition = position;
    if (item.eventsStored != nullptr && *item.eventsStored < item.eventCapacity && item.eventSamples != nullptr &&
        item.valuesStored != nullptr)
        item.eventSamples[(*item.eventsStored)++] = *item.valuesStored - 1;
    if (item.eventsTotal != nullptr) ++*item.eventsTotal;
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
            // The field holds an offset into the signal data, resolved after the loop.
            if (field != nullptr && (slot + 1) * entry->byteCount <= entry->vlsdOffsets.size())
                std::memcpy(&entry->vlsdOffsets[slot * entry->byteCount], field, entry->byteCount);
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

void ZtCSampleBasedStrategy::StoreElement(ChannelEntry& entry, std::uint32_t kind, std::uint64_t record,
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
}

// Time ranges.

std::uint64_t ZtCTimeBasedStrategy::search(double t, Bound bound, std::uint64_t lo, std::uint64_t hi,
                                           bool restricted) {
    const std::uint64_t startHi = hi;
    std::uint64_t mid = lo;
    bool crossed = false;
    bool leftEdge = false;
    while (true) {
        mid = lo + (hi - lo) / 2;
        const double v = MasterTime(mid);
        if (v > t) {
            if (lo + hi < 2 || mid == 0) {
                leftEdge = true;
                break;
            }
            hi = mid - 1;
        } else if (v == t) {
            return mid;
        } else {
            lo = mid + 1;
        }
        if (lo > hi) {
            crossed = true;
            break;
        }
    }
    std::uint64_t result;
    if (crossed) {
        if (restricted || lo >= recordCount_) return kNone;
        result = hi;
    } else {
        if (restricted || !leftEdge) return kNone;
        result = mid;
    }
    if (bound == Bound::Lower && t > MasterTime(result) && result < startHi) ++result;
    return result;
}

std::uint64_t ZtCTimeBasedStrategy::FindRecord(double t, Bound bound) {
    if (recordCount_ == 0) return kNone;
    if (cache_->firstHeld() != kNone) {
        const std::uint64_t found = search(t, bound, cache_->firstHeld(), cache_->lastHeld(), true);
        if (found != kNone) return found;
    }
    return search(t, bound, 0, recordCount_ - 1, false);
}

void ZtCTimeBasedStrategy::ComputeRanges() {
    if (recordCount_ == 0 || master_ == nullptr) return;
    const bool previous = singleRecord_;
    singleRecord_ = true;
    double tmin = MasterTime(0), tmax = MasterTime(recordCount_ - 1);
    if ((master_->cn_flags & 0x08) != 0) {
        tmin = master_->cn_val_range_min;
        tmax = master_->cn_val_range_max;
        if (master_->conversionIndex >= 0) {
            const CcRecord& cc = header_.conversions[static_cast<std::size_t>(master_->conversionIndex)];
            if (cc.cc_type == 1 && cc.cc_val.size() >= 2) {
                tmin = tmin * cc.cc_val[1] + cc.cc_val[0];
                tmax = tmax * cc.cc_val[1] + cc.cc_val[0];
            }
        }
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
