#include "writer/reduction_engine.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "blocks/block_header.h"
#include "blocks/data_blocks.h"
#include "blocks/stream.h"
#include "writer/data_chain.h"
#include "writer/reduction_fields.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

constexpr std::uint64_t kChunkRecords = 1000;
constexpr std::uint64_t kRowBufferBytes = 1 << 20;
constexpr std::uint64_t kRecordsPerFirstInterval = 64;
constexpr std::uint64_t kLevelFactor = 16;
constexpr std::uint64_t kFirstReductionLink = 24 + 4 * 8;  // cg_sr_first in a CG block
constexpr std::uint64_t kNextReductionLink = 24;           // sr_sr_next in an SR block
constexpr std::uint8_t kTimeSync = 1;

// Keeps the sign, the exponent and the four highest mantissa bits: the period becomes a number
// whose multiples by powers of two are exact, so interval boundaries do not drift.
double keepSixteenBits(double value) {
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(value) & 0xFFFF000000000000ull);
}

}  // namespace

ReductionEngine::ReductionEngine(ReductionLayout layout) : layout_(std::move(layout)) {
    if (layout_.master) master_ = makeMasterReduction(*layout_.master, layout_.timeFactor);
    fields_ = makeFieldReductions(layout_.fields);
    rowBytes_ = 3 * std::uint64_t{layout_.dataBytes};
    rowCapacity_ = std::max<std::uint64_t>(1, kRowBufferBytes / std::max<std::uint64_t>(rowBytes_, 1));
    times_.resize(kChunkRecords);
}

ReductionEngine::~ReductionEngine() = default;

void ReductionEngine::estimatePeriod(const std::uint8_t* records, std::uint64_t count) {
    if (periodFixed_) return;
    count = std::min(count, kPeriodRecords - periodRecords_);
    for (std::uint64_t first = 0; first < count; first += kChunkRecords) {
        const std::uint64_t n = std::min(kChunkRecords, count - first);
        chunkTimes(records + first * layout_.stride, n, periodRecords_);
        for (std::uint64_t r = 0; r < n; ++r, ++periodRecords_) {
            if (periodRecords_ != 0) periodSum_ += times_[r] - lastPeriodTime_;
            lastPeriodTime_ = times_[r];
        }
    }
}

void ReductionEngine::chunkTimes(const std::uint8_t* records, std::uint64_t count, std::uint64_t firstIndex) {
    if (master_) master_->times(records, count, layout_.stride, times_.data());
    else
        for (std::uint64_t r = 0; r < count; ++r) times_[r] = static_cast<double>(firstIndex + r);
}

void ReductionEngine::fixPeriod() {
    periodFixed_ = true;
    const double mean = periodRecords_ < 2 ? 1.0 : periodSum_ / static_cast<double>(periodRecords_ - 1);
    // Times that do not rise give no period to divide by; a record then counts as one unit.
    period_ = std::isfinite(mean) && mean > 0 ? keepSixteenBits(mean) : 1.0;
    if (!(period_ > 0)) period_ = 1.0;
    addLevel();
}

void ReductionEngine::addLevel() {
    Level level;
    level.interval = levels_.empty() ? static_cast<double>(kRecordsPerFirstInterval) * period_
                                     : levels_.back().interval * static_cast<double>(kLevelFactor);
    levels_.push_back(std::move(level));
    if (master_) master_->addLevel();
    for (auto& field : fields_) field->addLevel();
}

void ReductionEngine::feed(const std::uint8_t* records, std::uint64_t count) {
    if (count == 0) return;
    if (!periodFixed_) fixPeriod();
    const std::uint64_t stride = layout_.stride;
    for (std::uint64_t first = 0; first < count; first += kChunkRecords) {
        const std::uint8_t* chunk = records + first * stride;
        const std::uint64_t n = std::min(kChunkRecords, count - first);
        chunkTimes(chunk, n, recordsFed_);
        // Runs of records that fall into one interval go to the fields together.
        std::uint64_t runStart = 0;
        const double interval = levels_[0].interval;
        // Below this time a record cannot lie beyond the open interval: the division that places
        // it is skipped. The margin covers the rounding of the division.
        auto nextCheck = [&] { return static_cast<double>(levels_[0].current + 1) * interval * (1 - 0x1p-40); };
        double check = levels_[0].open ? nextCheck() : -std::numeric_limits<double>::infinity();
        for (std::uint64_t r = 0; r < n; ++r) {
            if (!(times_[r] >= check)) continue;
            const double position = std::floor(times_[r] / interval);
            // A time before the open interval (or NaN) stays in it; a time beyond any count
            // closes it into the last interval there is.
            if (!(position > static_cast<double>(levels_[0].current)) && levels_[0].open) continue;
            const std::uint64_t index = position >= 0x1p62 ? std::uint64_t{1} << 62
                                      : position > 0        ? static_cast<std::uint64_t>(position)
                                                            : 0;
            if (levels_[0].open) {
                feedRun(chunk + runStart * stride, r - runStart);
                runStart = r;
                close(0, true);
            }
            levels_[0].current = index;
            levels_[0].open = true;
            check = nextCheck();
        }
        feedRun(chunk + runStart * stride, n - runStart);
        recordsFed_ += n;
    }
}

void ReductionEngine::feedRun(const std::uint8_t* records, std::uint64_t count) {
    if (count == 0) return;
    if (master_) master_->feed(records, count, layout_.stride);
    for (auto& field : fields_) field->feed(records, count, layout_.stride);
}

void ReductionEngine::close(std::size_t level, bool followed) {
    const std::uint64_t index = levels_[level].current;
    // A level that gets a second row gets a coarser level above it, so the coarsest level is
    // always one row over the whole recording.
    const bool secondRow = followed || levels_[level].rowsWritten != 0 || !levels_[level].rows.empty();
    if (secondRow && level + 1 == levels_.size()) addLevel();
    if (level + 1 < levels_.size()) {
        // Sixteen intervals of one level make one of the next.
        const std::uint64_t upper = index / kLevelFactor;
        if (levels_[level + 1].open && upper > levels_[level + 1].current) close(level + 1, true);
        levels_[level + 1].current = upper;
        levels_[level + 1].open = true;
        if (master_) master_->handUp(level);
        for (auto& field : fields_) field->handUp(level);
    }
    Level& closing = levels_[level];
    const std::size_t at = closing.rows.size();
    closing.rows.resize(at + rowBytes_, 0);
    std::uint8_t* row = closing.rows.data() + at;
    if (master_) master_->emit(level, row, layout_.dataBytes, index, closing.interval);
    for (auto& field : fields_) field->emit(level, row, layout_.dataBytes, index, closing.interval);
    closing.open = false;
}

int ReductionEngine::writeRows(ZtCMF4Stream& stream, Level& level, std::uint64_t rows) {
    const std::uint64_t length = rows * rowBytes_;
    const std::int64_t position = beginDataBlock(stream, "##RD", length);
    if (position < 0) return kFailed;
    if (length != 0 &&
        stream.writeBytesAt(static_cast<std::uint64_t>(position) + kBlockHeaderSize, level.rows.data(), length) != kOk)
        return kFailed;
    level.blocks.push_back({position, length});
    level.rowsWritten += rows;
    level.rows.erase(level.rows.begin(), level.rows.begin() + static_cast<std::ptrdiff_t>(length));
    return kOk;
}

int ReductionEngine::writeFullLevels(ZtCMF4Stream& stream) {
    if (rowBytes_ == 0) return kOk;
    for (Level& level : levels_) {
        // A buffer may hold more than its capacity when rows came faster than they could be
        // written; it then goes out in blocks of the capacity.
        while (4 * (level.rows.size() / rowBytes_) > 3 * rowCapacity_)
            if (writeRows(stream, level, std::min(level.rows.size() / rowBytes_, rowCapacity_)) != kOk) return kFailed;
    }
    return kOk;
}

int ReductionEngine::finish(ZtCMF4Stream& stream, std::int64_t channelGroup) {
    if (levels_.empty() || !levels_[0].open) return kOk;
    for (std::size_t level = 0; level < levels_.size(); ++level)
        if (levels_[level].open) close(level, false);
    std::uint64_t linkSlot = static_cast<std::uint64_t>(channelGroup) + kFirstReductionLink;
    for (Level& level : levels_) {
        while (!level.rows.empty())
            if (writeRows(stream, level, std::min(level.rows.size() / rowBytes_, rowCapacity_)) != kOk) return kFailed;
        DlRecord list;
        std::uint64_t offset = 0;
        for (const RdBlock& block : level.blocks) {
            list.dl_data.push_back(block.position);
            list.dl_offset.push_back(offset);
            offset += block.dataLength;
        }
        list.dl_count = static_cast<std::uint32_t>(level.blocks.size());
        ZtCDLBlock listBlock(list);
        if (stream.seekEnd() != kOk || writeBlock(stream, listBlock, list, "##DL") != kOk) return kFailed;

        SrRecord reduction;
        reduction.sr_data = list.position;
        reduction.sr_cycle_count = level.rowsWritten;
        reduction.sr_interval = level.interval;
        reduction.sr_sync_type = kTimeSync;
        ZtCSRBlock reductionBlock(reduction);
        if (stream.seekEnd() != kOk || writeBlock(stream, reductionBlock, reduction, "##SR") != kOk) return kFailed;
        // Linked last: a level is in the file whole or not at all.
        if (stream.writeAt(linkSlot, reduction.position) != kOk) return kFailed;
        linkSlot = static_cast<std::uint64_t>(reduction.position) + kNextReductionLink;
    }
    levels_.clear();
    return kOk;
}

}  // namespace tarvik
