// Sample reduction of one channel group: its records are fed in order, each is placed in an
// interval of level 0 by its time, and every interval that closes yields a row of three records
// (means, minimums, maximums) and is handed up to the next level, whose intervals are 16 times
// longer. A level with more than one row has a coarser level above it, so the coarsest level is
// one row over the whole recording. Rows are written to the file as RD blocks; finishing lists
// each level's blocks in a DL under an SR block chained from the group's CG.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "writer/reduction_layout.h"

namespace tarvik {

class ZtCMF4Stream;
class FieldReduction;
class MasterReduction;

class ReductionEngine {
public:
    // The sampling period is the mean step of at most this many first records.
    static constexpr std::uint64_t kPeriodRecords = 10000;

    explicit ReductionEngine(ReductionLayout layout);
    ~ReductionEngine();
    ReductionEngine(const ReductionEngine&) = delete;
    ReductionEngine& operator=(const ReductionEngine&) = delete;

    // Takes the first records into the sampling period: the mean difference of their times,
    // over at most 10000 records in all. Called before the first feed, once or in pieces.
    void estimatePeriod(const std::uint8_t* records, std::uint64_t count);

    // Adds `count` records (layout stride apart) in their order. Rows of intervals that close are
    // kept until writeFullLevels or finish writes them.
    void feed(const std::uint8_t* records, std::uint64_t count);

    // Writes the rows of every level whose buffer is more than three quarters full as RD blocks
    // at the end of the file. kOk or kFailed.
    int writeFullLevels(ZtCMF4Stream& stream);

    // Closes every level's open interval, writes the remaining rows, then per level a DL of its
    // RD blocks and an SR block, chained from the CG at `channelGroup`. Nothing is written
    // when no record was fed. kOk or kFailed.
    int finish(ZtCMF4Stream& stream, std::int64_t channelGroup);

    // The sampling period: the mean time difference of the first records, cut to its 16 most
    // significant bits; 1.0 until estimated.
    double period() const { return period_; }
    std::size_t levelCount() const { return levels_.size(); }
    // A raw master value as time, through the master's linear conversion when it has one.
    double timeOf(double raw) const {
        return layout_.converted ? layout_.timeOffset + layout_.timeFactor * raw : raw;
    }

private:
    struct RdBlock {
        std::int64_t position;
        std::uint64_t dataLength;
    };
    struct Level {
        double interval = 0;       // seconds (or master units) per interval
        std::uint64_t current = 0; // index of the open interval
        bool open = false;
        std::vector<std::uint8_t> rows;  // rows not yet written, 3 x dataBytes each
        std::uint64_t rowsWritten = 0;
        std::vector<RdBlock> blocks;
    };

    // times_ for `count` records (at most a chunk): from the master, or from their indices
    // (the first being `firstIndex`) when the group has no master the reduction reads.
    void chunkTimes(const std::uint8_t* records, std::uint64_t count, std::uint64_t firstIndex);
    void fixPeriod();
    void addLevel();
    // Feeds records [first, end) of the current chunk to level 0's open interval.
    void feedRun(const std::uint8_t* records, std::uint64_t count);
    // Closes the open interval of `level`, hands it up and appends its row; `followed` says
    // that another interval of the level follows it.
    void close(std::size_t level, bool followed);
    int writeRows(ZtCMF4Stream& stream, Level& level, std::uint64_t rows);

    ReductionLayout layout_;
    std::unique_ptr<MasterReduction> master_;  // null: record indices are the times
    std::vector<std::unique_ptr<FieldReduction>> fields_;
    std::vector<Level> levels_;
    std::uint64_t rowBytes_ = 0;
    std::uint64_t rowCapacity_ = 1;  // rows of a full buffer

    // The sampling period and what it is estimated from.
    double period_ = 1.0;
    bool periodFixed_ = false;
    std::uint64_t periodRecords_ = 0;
    double periodSum_ = 0;
    double lastPeriodTime_ = 0;

    std::uint64_t recordsFed_ = 0;
    std::vector<double> times_;  // relative times of a chunk's records
};

}  // namespace tarvik
