#include "bucket_dump.h"

#include <algorithm>
#include <iostream>
#include <limits>
#include <optional>
#include <string>

#include "bucket_read.h"
#include "exit_codes.h"
#include "findings_printer.h"
#include "group_read.h"
#include "host_text.h"
#include "master_span.h"
#include "number_text.h"
#include "one_line.h"
#include "record_text.h"
#include "table_printer.h"
#include "type_names.h"

namespace mf4tool {

namespace {

// Rows are formatted and printed this many at a time.
constexpr std::size_t kRowBatch = 1000;

BucketRange recordBuckets(const DumpOptions& options) {
    BucketRange range;
    range.mode = MF4_READ_DOWNSAMPLED_SAMPLE_BASED;
    range.method = options.method;
    range.bucketSamples = options.buckets.value_or(0);
    range.firstSample = options.from.value_or(0);
    // Unlike a plain read, a count of 0 reads nothing here: "all" is the rest of the index
    // space, which the library cuts at the last record.
    range.sampleCount = options.count.value_or(0);
    if (range.sampleCount == 0)
        range.sampleCount = std::numeric_limits<std::uint64_t>::max() - range.firstSample;
    return range;
}

// Buckets are counted from the start, so an open end of the range becomes the first or last
// master time of the recording; none, after saying why, when those cannot be read.
std::optional<BucketRange> timeBuckets(MF4Content& content, std::uint64_t group,
                                       const DumpOptions& options) {
    BucketRange range;
    range.mode = MF4_READ_DOWNSAMPLED_TIME_BASED;
    range.method = options.method;
    range.bucketTime = options.bucketTime.value_or(0);
    range.levelTime = options.levelTime;
    range.withNeighbours = options.neighbours;
    if (options.start && options.end) {
        range.startTime = *options.start;
        range.endTime = *options.end;
        return range;
    }
    const MasterSpan span = masterSpan(content, group);
    if (span.result == MF4_ERRORS) {
        std::cerr << "mf4: cannot read the first and last master times of group " << group
                  << "; give --start and --end\n";
        return std::nullopt;
    }
    range.startTime = options.start.value_or(span.first);
    range.endTime = options.end.value_or(span.last);
    return range;
}

std::string channelName(const MF4Content& content, const ChannelSelection& selection,
                        std::size_t i) {
    return flattened(toTerminalText(content.channels[selection.channels[i]].name));
}

void noteUnreducedChannels(const MF4Content& content, const ChannelSelection& selection,
                           const BucketRead& read) {
    for (std::size_t i = 0; i < selection.channels.size(); ++i) {
        if (read.values(i) != nullptr) continue;
        const MF4Channel& channel = content.channels[selection.channels[i]];
        std::cerr << "mf4: left out channel " << channelName(content, selection, i) << " ("
                  << valueTypeName(channel.valueType) << ", "
                  << channelTypeName(channel.channelType) << "): only numbers can be reduced\n";
    }
}

// One channel's table: where each value lies, and the value.
void printChannel(const std::string& positionTitle, const std::string& title,
                  const BucketRead& read, std::size_t i) {
    const ValueBuffer& values = *read.values(i);
    const ValueBuffer& positions = *read.positions(i);
    TablePrinter table(std::cout);
    table.addRow({positionTitle, title});
    const std::uint64_t samples = std::min(values.recordsStored(), positions.recordsStored());
    for (std::uint64_t sample = 0; sample < samples; ++sample) {
        table.addRow({recordText(positions, sample, read.positionsPhysical(i)),
                      recordText(values, sample, read.valuesPhysical(i))});
        if (table.bufferedRows() >= kRowBatch) table.flush();
    }
    table.flush();
}

// Prints every reduced channel, a blank line between two tables.
void printChannels(const MF4Content& content, const ChannelSelection& selection,
                   const BucketRead& read, const std::string& positionTitle, bool physical) {
    bool first = true;
    for (std::size_t i = 0; i < selection.channels.size(); ++i) {
        if (read.values(i) == nullptr) continue;
        if (!first) std::cout << '\n';
        first = false;
        printChannel(positionTitle,
                     channelTitle(content, content.channels[selection.channels[i]], physical), read, i);
    }
}

// Tells of each channel that showed fewer values than it has because of `limit`; true when
// every channel got all the values the limit let it have.
bool noteShortChannels(const MF4Content& content, const ChannelSelection& selection,
                       const BucketRead& read, std::uint64_t limit) {
    bool complete = true;
    for (std::size_t i = 0; i < selection.channels.size(); ++i) {
        const ValueBuffer* values = read.values(i);
        if (values == nullptr) continue;
        const std::uint64_t total = values->recordsTotal();
        const std::uint64_t wanted = std::min(total, limit);
        const std::uint64_t shown = values->recordsStored();
        if (shown < total && shown == wanted)
            std::cerr << "mf4: showed " << shown << " of " << total << " values of "
                      << channelName(content, selection, i) << "; --limit N or --all shows more\n";
        if (shown < wanted) complete = false;
    }
    return complete;
}

}  // namespace

int dumpBuckets(MF4Content& content, const ChannelSelection& selection,
                const DumpOptions& options) {
    const std::uint64_t group = selection.group;
    std::optional<BucketRange> range;
    if (options.bucketTime) {
        if (!masterLayout(content.groups[group])) {
            std::cerr << "mf4: group " << group
                      << " has no numeric master; --bucket-time needs one\n";
            return kExitUsage;
        }
        range = timeBuckets(content, group, options);
        if (!range) return kExitErrors;
    } else {
        range = recordBuckets(options);
    }

    BucketRead read(content, group, selection.channels, *range, !options.raw);
    noteUnreducedChannels(content, selection, read);
    if (!read.countValues()) {
        printFindings(std::cerr, read.findings());
        std::cerr << "mf4: cannot read the values of group " << group << '\n';
        return kExitErrors;
    }
    const std::uint64_t limit = options.all ? std::numeric_limits<std::uint64_t>::max()
                                            : options.limit;
    const std::uint32_t result = read.read(limit);
    printFindings(std::cerr, read.findings());
    if (read.usedInterval() > 0)
        std::cerr << "mf4: read reduction level " << shortestText(read.usedInterval())
                  << " instead of the raw records\n";
    const std::string positionTitle = range->byTime()
                                          ? masterTitle(content, content.groups[group], !options.raw)
                                          : std::string("record");
    printChannels(content, selection, read, positionTitle, !options.raw);
    std::cout.flush();
    const bool complete = noteShortChannels(content, selection, read, limit);
    return result == MF4_ERRORS || !complete ? kExitErrors : kExitClean;
}

}  // namespace mf4tool
