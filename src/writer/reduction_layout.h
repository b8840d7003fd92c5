// What the reduction of a channel group reads from each record and writes into each row: the
// master field with the conversion that turns it into time, and every element of every numeric
// channel. Made from a group read from a file, or from a group being written.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace tarvik {

struct CgRecord;
struct CcRecord;
struct GroupSlot;
struct WriteSession;

// One numeric field of a record: a scalar channel, or one element of an array channel.
struct ReducedField {
    std::uint32_t valueType = 0;  // one of the ten numeric kinds
    std::uint32_t byteOffset = 0;
    std::uint32_t bitOffset = 0;
    std::uint32_t bitCount = 0;
    bool bigEndian = false;
};

struct ReductionLayout {
    std::uint32_t dataBytes = 0;  // one part (mean, minimum or maximum) of a reduction row
    std::uint64_t stride = 0;     // one raw record: data and invalidation bytes
    // The master's field; without one (no master, or one that is not a number) a record's
    // index is its time.
    std::optional<ReducedField> master;
    // time = timeOffset + timeFactor x raw when the master has a linear conversion that is not
    // the identity; otherwise the raw value is the time.
    bool converted = false;
    double timeOffset = 0;
    double timeFactor = 1;
    std::vector<ReducedField> fields;  // every element of every numeric channel but the master
};

// The layout of a group read from a file. Channels that are not numbers (strings, byte arrays,
// variable-length and virtual channels) and fields that do not lie inside the record are not
// reduced; their bytes stay 0 in the rows.
ReductionLayout reductionLayout(const CgRecord& group, const std::vector<CcRecord>& conversions);

// The layout of a group being written.
ReductionLayout reductionLayout(const GroupSlot& group, const WriteSession& session);

}  // namespace tarvik
