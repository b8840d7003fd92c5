#include "reduction_levels.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>

#include "support/mdf_blocks.h"

namespace tarvik::bench {

namespace {

using test::blockBytes;

// Reduction records per RD block: a few MB for a benchmark's record widths, so the finer levels
// of a large file come as a list of blocks and the coarse ones as a single block, and a reader
// meets both shapes.
constexpr std::uint64_t kReductionRecordsPerBlock = 8192;

constexpr std::uint8_t kTimeSync = 1;

double fieldAt(const std::string& records, std::uint64_t index) {
    double value = 0;
    std::memcpy(&value, records.data() + 8 * index, 8);
    return value;
}

void appendFields(std::string& out, const std::vector<double>& fields) {
    const std::size_t at = out.size();
    out.resize(at + 8 * fields.size());
    std::memcpy(out.data() + at, fields.data(), 8 * fields.size());
}

// Turns the raw records of one interval into its reduction record, reusing its buffers from
// one interval to the next.
class IntervalReducer {
public:
    IntervalReducer(const RecordShape& shape, const RecordSource& source)
        : shape_(shape), source_(source), means_(shape.fields), minimums_(shape.fields),
          maximums_(shape.fields) {}

    // Appends the reduction record of records [first, first + count) to `out`.
    void reduce(std::uint64_t first, std::uint64_t count, std::string& out) {
        source_(raw_, first, count);
        std::fill(means_.begin(), means_.end(), 0.0);
        std::fill(minimums_.begin(), minimums_.end(), std::numeric_limits<double>::infinity());
        std::fill(maximums_.begin(), maximums_.end(), -std::numeric_limits<double>::infinity());
        for (std::uint64_t record = 0; record < count; ++record) {
            for (unsigned field = 0; field < shape_.fields; ++field) {
                const double value = fieldAt(raw_, record * shape_.fields + field);
                means_[field] += value;
                minimums_[field] = std::min(minimums_[field], value);
                maximums_[field] = std::max(maximums_[field], value);
            }
        }
        for (double& sum : means_) sum /= static_cast<double>(count);
        // Readers place a reduction record on the time axis by the master field of its means.
        means_[0] = fieldAt(raw_, 0);
        appendFields(out, means_);
        appendFields(out, minimums_);
        appendFields(out, maximums_);
    }

private:
    const RecordShape& shape_;
    const RecordSource& source_;
    std::string raw_;
    std::vector<double> means_, minimums_, maximums_;
};

std::uint64_t intervalCount(const RecordShape& shape, std::uint64_t recordsPerInterval) {
    return (shape.records + recordsPerInterval - 1) / recordsPerInterval;
}

// Appends the RD blocks of one level (and a DL over them when there are several); returns the
// block sr_data names.
std::int64_t appendLevelData(const RecordShape& shape, std::uint64_t recordsPerInterval,
                             IntervalReducer& reducer, const BlockSink& append) {
    const std::uint64_t intervals = intervalCount(shape, recordsPerInterval);
    std::vector<std::int64_t> blocks{0};  // the DL's links: dl_dl_next, then the RD blocks
    std::vector<std::uint64_t> offsets;
    std::uint64_t written = 0;
    std::string data;
    for (std::uint64_t interval = 0; interval < intervals; ++interval) {
        const std::uint64_t first = interval * recordsPerInterval;
        reducer.reduce(first, std::min(recordsPerInterval, shape.records - first), data);
        if ((interval + 1) % kReductionRecordsPerBlock != 0 && interval + 1 != intervals)
            continue;
        offsets.push_back(written);
        blocks.push_back(append(blockBytes("##RD", {}, data)));
        written += data.size();
        data.clear();
    }
    if (offsets.size() == 1) return blocks[1];
    return append(blockBytes("##DL", blocks, test::dlOffsetData(offsets)));
}

}  // namespace

std::int64_t appendReductionLevels(const RecordShape& shape,
                                   const std::vector<std::uint64_t>& recordsPerInterval,
                                   const RecordSource& source, const BlockSink& append) {
    if (recordsPerInterval.empty() || recordsPerInterval.front() == 0 ||
        std::adjacent_find(recordsPerInterval.begin(), recordsPerInterval.end(),
                           std::greater_equal<>()) != recordsPerInterval.end())
        throw std::invalid_argument("reduction levels need ascending, non-zero intervals");
    IntervalReducer reducer(shape, source);
    // Coarsest first, so that each SR block is written knowing the next (coarser) one.
    std::int64_t next = 0;
    for (auto level = recordsPerInterval.rbegin(); level != recordsPerInterval.rend(); ++level) {
        const std::int64_t data = appendLevelData(shape, *level, reducer, append);
        const test::SrFields fields{.cycleCount = intervalCount(shape, *level),
                                    .interval = static_cast<double>(*level) * shape.period,
                                    .syncType = kTimeSync,
                                    .flags = 0};
        next = append(blockBytes("##SR", {next, data}, test::srData(fields)));
    }
    return next;
}

}  // namespace tarvik::bench
