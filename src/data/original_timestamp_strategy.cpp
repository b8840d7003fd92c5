#include "data/original_timestamp_strategy.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "blocks/hd_block.h"
#include "content/value_kinds.h"

namespace tarvik {

namespace {

// Values of different kinds are compared as long double, which holds every value of the ten
// numeric kinds exactly (64 bits of mantissa), so a uint64 value is not confused with its
// neighbour the way a double would confuse them.
static_assert(std::numeric_limits<long double>::digits >= 64, "exact comparison of 64-bit values");

// The caller's reduced value, or NaN (which equals nothing) for a kind that is not numeric.
long double reducedValueOf(const MF4ReadItem& item) {
    long double value = std::numeric_limits<long double>::quiet_NaN();
    withNumericKind(item.reducedType, [&](auto r) {
        decltype(r) typed;
        std::memcpy(&typed, item.reducedValue.bytes, sizeof typed);
        value = static_cast<long double>(typed);
    });
    return value;
}

}  // namespace

int ZtCOriginalTimestampStrategy::Read(GroupJob& job, std::uint64_t recordSize) {
    groupRecordSize_ = recordSize;
    Init(job);
    int status = 0;
    for (const ChannelEntry& entry : job.entries) {
        if (job.cancelled()) {
            status = 3;
            break;
        }
        double time = std::numeric_limits<double>::quiet_NaN();
        status = findOriginalTime(entry, time);
        if (status != 0) break;
        const MF4ReadItem& item = entry.a.item;
        if (item.valuesTotal != nullptr) *item.valuesTotal = 1;
        if (item.capacity > 0 && item.values != nullptr) {
            static_cast<double*>(item.values)[0] = time;
            if (item.valuesStored != nullptr) *item.valuesStored = 1;
        }
    }
    Release();
    return status;
}

long double ZtCOriginalTimestampStrategy::valueAt(const ChannelEntry& entry, std::uint64_t record,
                                                  std::int64_t offset) {
    long double value = std::numeric_limits<long double>::quiet_NaN();
    withNumericKind(entry.valueType, [&](auto c) {
        value = static_cast<long double>(GetValue<decltype(c)>(*entry.channel, record, offset));
    });
    return value;
}

std::uint64_t ZtCOriginalTimestampStrategy::findInInterval(double t0, double t1, const ChannelEntry& entry,
                                                           std::int64_t offset, long double target) {
    singleRecord_ = true;
    std::uint64_t record = FindRecord(t0, Bound::Lower);
    singleRecord_ = false;
    if (record == kNone) return kNone;
    for (; record < recordCount_; ++record) {
        if (job_->cancelled()) return kCancelled;
        // A damaged count can claim records whose bytes are nowhere: the search ends there.
        if (recordBytes(record) == nullptr) return kNone;
        if (!(MasterTime(record) < t1) || cache_->failed()) return kNone;
        if (valueAt(entry, record, offset) == target) return record;
    }
    return kNone;
}

int ZtCOriginalTimestampStrategy::findOriginalTime(const ChannelEntry& entry, double& time) {
    const MF4ReadItem& item = entry.a.item;
    const CgRecord& group = job_->dataGroup->groups.front();
    const std::vector<SrRecord>& levels = group.reductions;  // finest first
    std::size_t level = 0;
    while (level < levels.size() && levels[level].sr_interval != item.levelTime) ++level;
    const long double target = reducedValueOf(item);
    if (level == levels.size() || master_ == nullptr || std::isnan(target) || !isNumericKind(entry.valueType))
        return 2;

    std::int64_t element = 0;
    if (entry.channel->array && entry.elementIndices != nullptr) {
        const CaRecord& array = *entry.channel->array;
        element = elementByteOffset(array, entry.elementIndices[0], array.ca_ndim > 1 ? entry.elementIndices[1] : kNone,
                                    array.ca_ndim > 2 ? entry.elementIndices[2] : kNone, array.ca_byte_offset_base);
    }
    // The value must be the minimum or the maximum of the reduction record at the given time;
    // that part is then followed down the levels.
    const auto dataBytes = static_cast<std::int64_t>(group.cg_data_bytes);
    openLevel(levels[level]);
    singleRecord_ = true;
    const std::uint64_t record = FindRecord(item.startTime, Bound::Lower);
    if (record == kNone) return 2;
    std::int64_t part = 0;
    if (valueAt(entry, record, element + dataBytes) == target) part = dataBytes;
    else if (valueAt(entry, record, element + 2 * dataBytes) == target) part = 2 * dataBytes;
    else return 2;

    double t0 = item.startTime, t1 = t0 + levels[level].sr_interval;
    while (level-- > 0) {
        openLevel(levels[level]);
        const std::uint64_t found = findInInterval(t0, t1, entry, element + part, target);
        if (found == kCancelled) return 3;
        if (found == kNone) return 2;
        t0 = MasterTime(found);
        t1 = t0 + levels[level].sr_interval;
    }
    openGroupRecords();
    const std::uint64_t found = findInInterval(t0, t1, entry, element, target);
    if (found == kCancelled) return 3;
    if (found == kNone) return 2;
    time = MasterTime(found);
    return 0;
}

}  // namespace tarvik
