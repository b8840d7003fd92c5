#include "data/downsampled_strategy.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "blocks/hd_block.h"
#include "content/value_type.h"
#include "content/value_kinds.h"

namespace tarvik {

namespace {

template <NumericKind T, NumericKind M>
std::vector<Accumulator<T, M>>& accumulatorsOf(const std::shared_ptr<void>& accumulators) {
    return *static_cast<std::vector<Accumulator<T, M>>*>(accumulators.get());
}

// Writes `value` into slot `slot` of the area's buffer while the slot lies within its capacity.
template <NumericKind T>
void writeSlot(OutputArea& area, std::uint64_t slot, T value) {
    if (area.item.values != nullptr && slot < area.item.capacity) static_cast<T*>(area.item.values)[slot] = value;
}

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
    return b > std::numeric_limits<std::uint64_t>::max() - a ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

std::uint64_t saturatingMultiply(std::uint64_t a, std::uint64_t b) {
    return a != 0 && b > std::numeric_limits<std::uint64_t>::max() / a ? std::numeric_limits<std::uint64_t>::max()
                                                                         : a * b;
}

// One reduced value and where it occurred.
template <NumericKind T, NumericKind M>
struct Reduced {
    T value;
    M x;
};

}  // namespace

template <typename F>
void ZtCDownSampledStrategy::withKinds(const ChannelEntry& entry, F&& f) const {
    withNumericKind(entry.valueType, [&](auto t) {
        withNumericKind(positionKind_, [&](auto m) { f(t, m); });
    });
}

template <NumericKind M>
M ZtCDownSampledStrategy::currentPosition() const {
    M x;
    std::memcpy(&x, &positionBits_, sizeof x);
    return x;
}

// The bucket table and the accumulators.

void ZtCDownSampledStrategy::Init(GroupJob& job) {
    ZtCReadDataStrategy::Init(job);
    positionKind_ = timeBased_ ? masterType_ : kVtUI8;
    buckets_.assign(job.entries.size(), Bucketing{});
    for (std::size_t e = 0; e < job.entries.size(); ++e) {
        const ChannelEntry& entry = job.entries[e];
        const MF4ReadItem& item = entry.a.item;
        Bucketing& bucketing = buckets_[e];
        bucketing.bucketSamples = item.bucketSamples;
        bucketing.bucketWidth = item.bucketTime;
        bucketing.method = static_cast<DownSampleMethod>(item.method);
        const bool sized = timeBased_ ? item.bucketTime > 0 && std::isfinite(item.bucketTime) : item.bucketSamples > 0;
        const std::uint64_t values = ranges_[e].valuesPerRecord;
        // A damaged array holds no values (0) and reduces to nothing.
        bucketing.reducible = sized && item.method <= 3 && entry.elementByteSize == 0 && values != 0;
    }
}

int ZtCDownSampledStrategy::ReadRecords() {
    makeAccumulators();
    return ZtCReadDataStrategy::ReadRecords();
}

void ZtCDownSampledStrategy::makeAccumulators() {
    // One accumulator per value of a record. The count is bounded by the record's size, which
    // comes from the file: only a record that is really there lets it size memory.
    const bool recordPresent = recordCount_ > 0 && cache_->fetch(0, 1) != nullptr;
    for (std::size_t e = 0; e < job_->entries.size(); ++e) {
        Bucketing& bucketing = buckets_[e];
        if (!bucketing.reducible) continue;
        bucketing.reducible = false;
        if (!recordPresent) continue;
        withKinds(job_->entries[e], [&](auto t, auto m) {
            try {
                bucketing.accumulators = std::make_shared<std::vector<Accumulator<decltype(t), decltype(m)>>>(
                    ranges_[e].valuesPerRecord);
                bucketing.reducible = true;
            } catch (const std::bad_alloc&) {
            }
        });
    }
}

void ZtCDownSampledStrategy::Release() {
    // Area B shares the event positions found for area A.
    for (ChannelEntry& entry : job_->entries) {
        const MF4ReadItem& a = entry.a.item;
        const MF4ReadItem& b = entry.b.item;
        if (a.eventsStored != nullptr && b.eventsStored != nullptr) {
            std::uint64_t copied = 0;
            if (a.eventSamples != nullptr && b.eventSamples != nullptr)
                copied = std::min({*a.eventsStored, a.eventCapacity, b.eventCapacity});
            if (copied != 0 && a.eventSamples != b.eventSamples)
                std::memmove(b.eventSamples, a.eventSamples, copied * sizeof(std::uint64_t));
            *b.eventsStored = copied;
        }
        if (a.eventsTotal != nullptr && b.eventsTotal != nullptr) *b.eventsTotal = *a.eventsTotal;
    }
    buckets_.clear();
    ZtCReadDataStrategy::Release();
}

// Which bucket a record belongs to.

double ZtCDownSampledStrategy::bucketOf(const ChannelRange& range, Bucketing& bucketing, std::uint64_t record,
                                        double time) const {
    if (!timeBased_) {
        // Buckets of whole records: the next one begins at a known record, so the division
        // is needed only once per bucket.
        const std::uint64_t size = bucketing.bucketSamples;
        if (record != range.first && record < bucketing.boundary) return bucketing.current;
        const std::uint64_t n = (record - range.first) / size;
        bucketing.boundary = saturatingAdd(range.first, saturatingMultiply(n + 1, size));
        return static_cast<double>(n);
    }
    const double q = (time - range.startTime) / bucketing.bucketWidth;
    if (std::isnan(q)) return record == range.first ? 0 : bucketing.current;
    double n = std::floor(q);
    // A range that ends inside a bucket takes that bucket whole, up to and including the
    // boundary after it: a last record lying exactly there, at or beyond the end asked for,
    // closes that bucket rather than opening one of its own. A last record on a boundary
    // before the end (the recording stops there) does open its bucket.
    if (record == range.last && n == q && time >= range.endTime) n -= 1;
    return n;
}

template <NumericKind T, NumericKind M>
void ZtCDownSampledStrategy::beginBucketRecord(ChannelEntry& entry, std::uint64_t record, M x, double time) {
    Bucketing& bucketing = buckets_[entry.entryNumber];
    const ChannelRange& range = ranges_[entry.entryNumber];
    const double n = bucketOf(range, bucketing, record, time);
    if (record != range.first) {
        if (n <= bucketing.current) return;
        emitAll<T, M>(entry);
    }
    bucketing.current = n;
    bucketing.open = true;
    for (Accumulator<T, M>& accumulator : accumulatorsOf<T, M>(bucketing.accumulators)) accumulator.start(x);
}

template <NumericKind T, NumericKind M>
void ZtCDownSampledStrategy::Accumulate(ChannelEntry& entry, std::uint64_t element, M x, T value, T candidate) {
    Bucketing& bucketing = buckets_[entry.entryNumber];
    auto& accumulators = accumulatorsOf<T, M>(bucketing.accumulators);
    if (element < accumulators.size()) accumulators[element].add(bucketing.method, x, value, candidate);
}

template <NumericKind T, NumericKind M>
void ZtCDownSampledStrategy::endBucketRecord(ChannelEntry& entry, std::uint64_t record) {
    if (record == ranges_[entry.entryNumber].last) emitAll<T, M>(entry);
}

// Emission.

template <NumericKind T, NumericKind M>
void ZtCDownSampledStrategy::emitAll(ChannelEntry& entry) {
    Bucketing& bucketing = buckets_[entry.entryNumber];
    if (!bucketing.open) return;
    const bool previous = singleRecord_;
    singleRecord_ = true;
    const std::uint64_t values = accumulatorsOf<T, M>(bucketing.accumulators).size();
    for (std::uint64_t element = 0; element < values; ++element) Emit<T, M>(entry, element);
    singleRecord_ = previous;
    bucketing.open = false;
    countEmitted(entry);
}

template <NumericKind T, NumericKind M>
void ZtCDownSampledStrategy::Emit(ChannelEntry& entry, std::uint64_t element) {
    Bucketing& bucketing = buckets_[entry.entryNumber];
    auto& accumulators = accumulatorsOf<T, M>(bucketing.accumulators);
    Accumulator<T, M>& acc = accumulators[element];
    Reduced<T, M> reduced[2];
    unsigned count = 1;
    switch (bucketing.method) {
    case DownSampleMethod::Mean:
        reduced[0] = {acc.mean(), bucketMiddle<M>(entry)};
        break;
    case DownSampleMethod::Min:
        reduced[0] = acc.hasMinimum ? Reduced<T, M>{acc.minimum, acc.xMinimum} : Reduced<T, M>{acc.nanValue, acc.xFirst};
        break;
    case DownSampleMethod::Max:
        reduced[0] = acc.hasMaximum ? Reduced<T, M>{acc.maximum, acc.xMaximum} : Reduced<T, M>{acc.nanValue, acc.xFirst};
        break;
    case DownSampleMethod::MinMax: {
        const Reduced<T, M> minimum{acc.minimum, acc.xMinimum}, maximum{acc.maximum, acc.xMaximum};
        if (!acc.hasMinimum && !acc.hasMaximum) {
            reduced[0] = {acc.nanValue, acc.xFirst};
        } else if (!acc.hasMaximum || (acc.hasMinimum && acc.xMinimum == acc.xMaximum && acc.minimum == acc.maximum)) {
            reduced[0] = minimum;
        } else if (!acc.hasMinimum) {
            reduced[0] = maximum;
        } else {
            // In the order they occurred. Two extremes at one place (parts of one reduction
            // record) are ordered so that the line drawn through them stays short.
            bool minimumFirst = acc.xMinimum < acc.xMaximum;
            if (acc.xMinimum == acc.xMaximum) {
                const double last = static_cast<double>(acc.lastEmitted);
                minimumFirst = acc.hasEmitted &&
                               (timeBased_ ? std::fabs(static_cast<double>(acc.minimum) - last) <
                                                 std::fabs(static_cast<double>(acc.maximum) - last)
                                           : !(acc.minimum < acc.lastEmitted));
            }
            reduced[0] = minimumFirst ? minimum : maximum;
            reduced[1] = minimumFirst ? maximum : minimum;
            count = 2;
        }
        acc.lastEmitted = timeBased_ || !acc.hasMaximum ? reduced[count - 1].value : acc.maximum;
        acc.hasEmitted = true;
        break;
    }
    }

    // An array's elements all emit together: sample j of the bucket holds element i at
    // j x elements + i; with minimum and maximum an array always takes two samples.
    const std::uint64_t values = accumulators.size();
    const unsigned samples = values > 1 && bucketing.method == DownSampleMethod::MinMax ? 2 : count;
    for (unsigned j = 0; j < samples; ++j) {
        const Reduced<T, M>& value = reduced[std::min(j, count - 1)];
        const std::uint64_t slot = entry.a.produced + j * values + element;
        writeSlot(entry.a, slot, value.value);
        writeSlot(entry.b, slot, value.x);
    }
    if (element != 0) return;
    bucketing.samplesEmitted = samples;
    const bool timed = eventsWanted(entry);
    for (unsigned j = 0; j < samples; ++j)
        bucketing.sampleTimes[j] = timed ? timeOfPosition(reduced[std::min(j, count - 1)].x) : 0.0;
}

void ZtCDownSampledStrategy::countEmitted(ChannelEntry& entry) {
    Bucketing& bucketing = buckets_[entry.entryNumber];
    const std::uint64_t values = ranges_[entry.entryNumber].valuesPerRecord;
    for (unsigned j = 0; j < bucketing.samplesEmitted; ++j) {
        for (OutputArea* area : {&entry.a, &entry.b}) {
            area->produced += values;
            const std::uint64_t capacity = area->item.values != nullptr ? area->item.capacity : 0;
            area->stored = std::min(capacity, area->produced);
        }
        CountSample(entry, bucketing.sampleTimes[j]);
    }
    bucketing.samplesEmitted = 0;
}

void ZtCDownSampledStrategy::CountSample(ChannelEntry& entry, double time) {
    countSampleIn(entry.a);
    countSampleIn(entry.b);
    markEvents(entry, time);
}

template <NumericKind M>
M ZtCDownSampledStrategy::bucketMiddle(const ChannelEntry& entry) const {
    const Bucketing& bucketing = buckets_[entry.entryNumber];
    const ChannelRange& range = ranges_[entry.entryNumber];
    if (!timeBased_) {
        const std::uint64_t size = bucketing.bucketSamples;
        const std::uint64_t start = saturatingMultiply(static_cast<std::uint64_t>(bucketing.current), size);
        return static_cast<M>(saturatingAdd(saturatingAdd(range.first, start), size / 2));
    }
    const double width = bucketing.bucketWidth;
    const double middle = range.startTime + bucketing.current * width + 0.5 * width;
    return fromDouble<M>(masterValueOfTime(middle));
}

template <NumericKind M>
double ZtCDownSampledStrategy::timeOfPosition(M x) {
    if (timeBased_) return timeOfMasterValue(static_cast<double>(x));
    // A record index; the middle of a last, partial bucket may lie beyond the records.
    if (recordCount_ == 0) return 0.0;
    return MasterTime(std::min<std::uint64_t>(static_cast<std::uint64_t>(x), recordCount_ - 1));
}

void ZtCDownSampledStrategy::FinishEntries() {
    for (ChannelEntry& entry : job_->entries) {
        if (!buckets_[entry.entryNumber].reducible) continue;
        withKinds(entry, [&](auto t, auto m) { emitAll<decltype(t), decltype(m)>(entry); });
    }
}

// The record loop's steps.

bool ZtCDownSampledStrategy::readsTyped(const ChannelEntry& entry) const {
    const CnRecord& channel = *entry.channel;
    return buckets_[entry.entryNumber].reducible && !channel.array && channel.cn_type != kCnVariableLength &&
           channel.cn_type != 6 && channel.cn_data_type <= 5 && !eventsWanted(entry) &&
           (!timeBased_ || master_ != nullptr);
}

template <NumericKind T, NumericKind M>
void ZtCDownSampledStrategy::accumulateWindow(ChannelEntry& entry, const std::uint8_t* window,
                                              std::uint64_t windowFirst, std::uint64_t first, std::uint64_t last) {
    const Bucketing& bucketing = buckets_[entry.entryNumber];
    const ChannelRange& range = ranges_[entry.entryNumber];
    const std::uint64_t recordSize = cache_->recordSize();
    const RecordField<T> value(*entry.channel, bucketing.valuePart, recordSize);
    const RecordField<T> candidate(*entry.channel, bucketing.candidatePart, recordSize);
    const bool oneField = bucketing.valuePart == bucketing.candidatePart;
    const RecordField<M> position(timeBased_ ? *master_ : *entry.channel, 0, recordSize);
    const std::uint8_t* bytes = window + (first - windowFirst) * recordSize;
    for (std::uint64_t record = first; record <= last;) {
        M x;
        double time = 0;
        if (timeBased_) {
            x = position.read(bytes);
            time = timeOfMasterValue(static_cast<double>(x));
        } else {
            x = static_cast<M>(record);
        }
        beginBucketRecord<T, M>(entry, record, x, time);
        const T v = value.read(bytes);
        Accumulate<T, M>(entry, 0, x, v, oneField ? v : candidate.read(bytes));
        endBucketRecord<T, M>(entry, record);
        ++record;
        bytes += recordSize;
        if (timeBased_ || !bucketing.open) continue;
        // Buckets of records: the records up to the bucket's last one (short of the range's
        // last) need no bucket step and go through one tight loop.
        const std::uint64_t runLast = std::min({last, bucketing.boundary - 1, range.last - 1});
        // A local copy: the record bytes could alias the accumulator in memory, which would
        // keep its fields out of registers.
        Accumulator<T, M>& stored = accumulatorsOf<T, M>(bucketing.accumulators)[0];
        Accumulator<T, M> accumulator = stored;
        const DownSampleMethod method = bucketing.method;
        for (; record <= runLast; ++record, bytes += recordSize) {
            const T runValue = value.read(bytes);
            accumulator.add(method, static_cast<M>(record), runValue, oneField ? runValue : candidate.read(bytes));
        }
        stored = accumulator;
    }
}

void ZtCDownSampledStrategy::readTypedWindow(ChannelEntry& entry, const std::uint8_t* window,
                                             std::uint64_t windowFirst, std::uint64_t first, std::uint64_t last) {
    withKinds(entry, [&](auto t, auto m) {
        accumulateWindow<decltype(t), decltype(m)>(entry, window, windowFirst, first, last);
    });
}

void ZtCDownSampledStrategy::StoreValue(ChannelEntry* entry, std::uint32_t, std::uint64_t record) {
    if (entry != nullptr) {
        accumulateField(*entry, 0, record, 0);
        return;
    }
    // The master step: the position (and time) of the record for every entry that follows.
    if (!timeBased_) {
        positionBits_ = record;
        return;
    }
    withNumericKind(masterType_, [&](auto m) {
        const auto x = GetValue<decltype(m)>(*master_, record);
        positionBits_ = 0;
        std::memcpy(&positionBits_, &x, sizeof x);
        currentTime_ = timeOfMasterValue(static_cast<double>(x));
    });
}

bool ZtCDownSampledStrategy::StoreElement(ChannelEntry& entry, std::uint32_t, std::uint64_t record, std::uint64_t i,
                                          std::uint64_t j, std::uint64_t k) {
    const CaRecord& array = *entry.channel->array;
    const std::uint64_t element = entry.elementIndices != nullptr ? 0 : elementPosition(array, i, j, k);
    accumulateField(entry, element, record, elementByteOffset(array, i, j, k, array.ca_byte_offset_base));
    return true;  // every element has an accumulator of its own
}

void ZtCDownSampledStrategy::BeginValue(ChannelEntry& entry, std::uint64_t record) {
    ZtCReadDataStrategy::BeginValue(entry, record);
    if (!buckets_[entry.entryNumber].reducible) return;
    withKinds(entry, [&](auto t, auto m) {
        using M = decltype(m);
        beginBucketRecord<decltype(t), M>(entry, record, currentPosition<M>(), currentTime_);
    });
}

void ZtCDownSampledStrategy::EndValue(ChannelEntry& entry, std::uint64_t record) {
    if (!buckets_[entry.entryNumber].reducible) return;
    withKinds(entry, [&](auto t, auto m) { endBucketRecord<decltype(t), decltype(m)>(entry, record); });
}

void ZtCDownSampledStrategy::accumulateField(ChannelEntry& entry, std::uint64_t element, std::uint64_t record,
                                             std::int64_t elementOffset) {
    const Bucketing& bucketing = buckets_[entry.entryNumber];
    if (!bucketing.reducible) return;
    withKinds(entry, [&](auto t, auto m) {
        using T = decltype(t);
        using M = decltype(m);
        const T value = GetValue<T>(*entry.channel, record, elementOffset + bucketing.valuePart);
        const T candidate = bucketing.valuePart == bucketing.candidatePart
                                ? value
                                : GetValue<T>(*entry.channel, record, elementOffset + bucketing.candidatePart);
        Accumulate<T, M>(entry, element, currentPosition<M>(), value, candidate);
    });
}

// Mode 1: buckets of records.

ZtCDownSampledSampleBasedStrategy::ZtCDownSampledSampleBasedStrategy(const HdRecord& header, ZtCMF4Stream& stream)
    : ZtCDownSampledStrategy(header, stream) {
    timeBased_ = false;
}

void ZtCDownSampledSampleBasedStrategy::ComputeRanges() {
    for (std::size_t e = 0; e < job_->entries.size(); ++e) {
        const MF4ReadItem& item = job_->entries[e].a.item;
        const Bucketing& bucketing = buckets_[e];
        ChannelRange& range = ranges_[e];
        range.first = 1;
        range.last = 0;
        if (!bucketing.reducible || item.sampleCount == 0 || item.firstSample >= recordCount_) continue;
        // Whole buckets cover the records asked for; the last one is cut where the records end.
        const std::uint64_t size = bucketing.bucketSamples;
        const std::uint64_t buckets = item.sampleCount / size + (item.sampleCount % size != 0 ? 1 : 0);
        const std::uint64_t left = recordCount_ - item.firstSample;
        range.first = item.firstSample;
        range.last = item.firstSample + std::min(left, saturatingMultiply(buckets, size)) - 1;
    }
}

}  // namespace tarvik
