#include "master_span.h"

#include <cstring>
#include <limits>
#include <optional>

#include "group_read.h"
#include "tree_arrays.h"

namespace mf4tool {

namespace {

// Conversion type that time ranges take into account.
constexpr std::uint32_t kLinearConversion = 1;

template <typename T>
double typedNumber(const std::byte* value) {
    T number;
    std::memcpy(&number, value, sizeof number);
    return static_cast<double>(number);
}

// The number of VARTYPE `valueType` stored at `value`, as a double.
double numberValue(const std::byte* value, std::uint32_t valueType) {
    switch (valueType) {
        case 2: return typedNumber<std::int16_t>(value);
        case 3: return typedNumber<std::int32_t>(value);
        case 4: return typedNumber<float>(value);
        case 5: return typedNumber<double>(value);
        case 16: return typedNumber<std::int8_t>(value);
        case 17: return typedNumber<std::uint8_t>(value);
        case 18: return typedNumber<std::uint16_t>(value);
        case 19: return typedNumber<std::uint32_t>(value);
        case 20: return typedNumber<std::int64_t>(value);
        case 21: return typedNumber<std::uint64_t>(value);
        default: return std::numeric_limits<double>::quiet_NaN();
    }
}

// A stored master value in the units of time ranges.
double masterTime(const MF4Content& content, const MF4ChannelGroup& group, double stored) {
    const MF4Conversion* linear = conversionOf(content, group.masterConversion);
    if (linear == nullptr || linear->conversionType != kLinearConversion) return stored;
    return linear->parameters.linear[0] + linear->parameters.linear[1] * stored;
}

// The master time of record `record`, none when the read fails or stores nothing.
std::optional<double> timeOfRecord(MF4Content& content, std::uint64_t group, GroupRead& read,
                                   std::uint64_t record) {
    RecordRange range;
    range.firstSample = record;
    range.sampleCount = 1;
    if (read.read(range, 1) == MF4_ERRORS || read.recordsStored() != 1) return std::nullopt;
    const ValueBuffer& master = *read.master();
    const double stored = numberValue(master.number(0, 0), master.layout().valueType);
    return masterTime(content, content.groups[group], stored);
}

}  // namespace

MasterSpan masterSpan(MF4Content& content, std::uint64_t group) {
    MasterSpan span;
    GroupRead read(content, group, {}, false);
    if (read.master() == nullptr) return span;
    RecordRange all;
    all.sampleCount = 0;  // with firstSample 0: every record
    const auto records = read.countRecords(all);
    if (!records) return span;
    span.records = *records;
    if (span.records > 0) {
        const auto first = timeOfRecord(content, group, read, 0);
        const auto last = timeOfRecord(content, group, read, span.records - 1);
        if (!first || !last) return span;
        span.first = *first;
        span.last = *last;
    }
    span.result = MF4_OK;
    return span;
}

}  // namespace mf4tool
