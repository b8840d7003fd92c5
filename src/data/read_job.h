// The units of work of one ReadData call: one job per data group, one entry per channel read,
// each entry with the caller's output areas and the range of records it covers.
#pragma once

#include <cstdint>
#include <vector>

#include "TarvikMF4Access.h"

namespace tarvik {

class DecodedBlocks;
class MasterBounds;
struct CnRecord;
struct DgRecord;

// Where the values of one entry go: a copy of the caller's item (its buffers and result
// pointers stay the caller's) with the running counters of the call.
struct OutputArea {
    MF4ReadItem item{};
    std::uint32_t mode = 0;
    std::uint64_t produced = 0;  // values produced so far
    std::uint64_t stored = 0;    // values stored into `values`
};

// One sample more in the area's counters: stored when every value produced for the area so far
// was stored.
inline void countSampleIn(const OutputArea& area) {
    if (area.produced <= area.stored && area.item.valuesStored != nullptr) ++*area.item.valuesStored;
    if (area.item.valuesTotal != nullptr) ++*area.item.valuesTotal;
}

struct ChannelEntry {
    const CnRecord* channel = nullptr;
    std::uint64_t entryNumber = 0;         // position in the job
    const std::uint64_t* elementIndices = nullptr;  // one element of an array, or all
    std::uint64_t elementByteSize = 0;     // byte arrays: bytes per record; 0 for typed slots
    std::uint32_t valueType = 0;           // VARTYPE of the values
    std::uint32_t byteCount = 0;           // (bit count + 7) / 8
    OutputArea a;
    OutputArea b;
    bool vlsdStrings = false;              // strings of variable length asked for as strings
    std::vector<std::uint64_t> vlsdOffsets; // their signal-data offsets, one per value stored
};

struct GroupJob {
    const DgRecord* dataGroup = nullptr;
    std::uint64_t dataGroupIndex = 0;
    std::vector<ChannelEntry> entries;
    const std::uint32_t* cancelFlag = nullptr;
    // The file's DZ blocks decoded by earlier reads (null: none are shared).
    DecodedBlocks* decodedBlocks = nullptr;
    // The master times at the ends of the file's compressed blocks known so far (null: none
    // are kept).
    MasterBounds* masterBounds = nullptr;
    // Acquisition interruptions of this data group, in ascending end time: their event times.
    std::vector<double> eventTimes;

    bool cancelled() const { return cancelFlag != nullptr && *cancelFlag != 0; }
};

// The per-entry state of a strategy while it reads.
struct ChannelRange {
    std::uint64_t valuesPerRecord = 1;
    std::uint64_t first = 1;     // first > last: nothing to read
    std::uint64_t last = 0;
    double startTime = 0;
    double endTime = 0;
    std::uint64_t lastEventPosition = ~std::uint64_t{0};
    std::uint64_t eventCursor = 0;
    std::uint64_t outputIndex = 0;

    bool empty() const { return first > last; }
    bool contains(std::uint64_t record) const { return first <= record && record <= last; }
};

}  // namespace tarvik
