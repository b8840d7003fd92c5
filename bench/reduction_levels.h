// Sample-reduction levels written byte by byte beside a benchmark file's raw records, so that
// down-sampled reads have levels to choose from without the library's own writer producing
// them. The records are float64 fields only, the first being the time master.
//
// Each level is an SR block whose data (one RD block, or a DL of RD blocks when the level is
// large) holds one reduction record per interval: the means, then the minimums, then the
// maximums of the interval's records, each part laid out like a raw record. The master field of
// the means part holds the interval's start time; a last interval cut short by the end of the
// records is reduced over the records it has.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarvik::bench {

// Writes the raw records [first, first + count) into `bytes`, back to back.
using RecordSource =
    std::function<void(std::string& bytes, std::uint64_t first, std::uint64_t count)>;

// Appends a finished block to the file and returns its position.
using BlockSink = std::function<std::int64_t(const std::string& block)>;

struct RecordShape {
    std::uint64_t records = 0;  // raw records of the channel group
    unsigned fields = 0;        // float64 fields per record, field 0 the time master
    double period = 0;          // master step from one record to the next
};

// Appends one level per entry of `recordsPerInterval` (ascending, none 0), each interval being
// that many records long, and returns the position of the finest level's SR block: the head of
// the chain, ordered by interval, that the channel group's cg_sr_first link must name.
// Throws std::invalid_argument for an empty, unordered or zero entry list.
std::int64_t appendReductionLevels(const RecordShape& shape,
                                   const std::vector<std::uint64_t>& recordsPerInterval,
                                   const RecordSource& source, const BlockSink& append);

}  // namespace tarvik::bench
