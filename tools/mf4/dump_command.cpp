#include "dump_command.h"

#include <algorithm>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "bucket_dump.h"
#include "bucket_options.h"
#include "channel_selection.h"
#include "content_reading.h"
#include "dump_options.h"
#include "exit_codes.h"
#include "findings_printer.h"
#include "group_read.h"
#include "host_text.h"
#include "one_line.h"
#include "read_messages.h"
#include "record_text.h"
#include "table_printer.h"

namespace mf4tool {

namespace {

// Rows are formatted and printed this many at a time.
constexpr std::size_t kRowBatch = 1000;

RecordRange rangeOf(const DumpOptions& options) {
    RecordRange range;
    range.withNeighbours = options.neighbours;
    if (options.start || options.end) {
        range.mode = MF4_READ_TIME_BASED;
        range.startTime = options.start.value_or(std::numeric_limits<double>::lowest());
        range.endTime = options.end.value_or(std::numeric_limits<double>::max());
    } else {
        // A count of 0 means "all" only from record 0; from elsewhere "all" is the whole rest
        // of the index space, which the library cuts at the last record.
        range.firstSample = options.from.value_or(0);
        range.sampleCount = options.count.value_or(0);
        if (range.sampleCount == 0)
            range.sampleCount = std::numeric_limits<std::uint64_t>::max() - range.firstSample;
    }
    return range;
}

std::vector<std::string> headerRow(const MF4Content& content, const ChannelSelection& selection,
                                   const GroupRead& read, bool physical) {
    std::vector<std::string> row{masterTitle(content, content.groups[selection.group], physical)};
    for (std::size_t i = 0; i < selection.channels.size(); ++i)
        if (read.channel(i) != nullptr)
            row.push_back(channelTitle(content, content.channels[selection.channels[i]], physical));
    return row;
}

std::vector<std::string> valueRow(const GroupRead& read, std::size_t channelCount,
                                  std::uint64_t record) {
    std::vector<std::string> row;
    row.reserve(channelCount + 1);
    const ValueBuffer* master = read.master();
    row.push_back(master != nullptr ? elementText(*master, record, 0, read.masterPhysical()) : "-");
    for (std::size_t i = 0; i < channelCount; ++i) {
        const ValueBuffer* values = read.channel(i);
        if (values == nullptr) continue;
        row.push_back(record < values->recordsStored()
                          ? recordText(*values, record, read.channelPhysical(i))
                          : "-");
    }
    return row;
}

void printTable(const MF4Content& content, const ChannelSelection& selection,
                const GroupRead& read, bool physical) {
    TablePrinter table(std::cout);
    table.addRow(headerRow(content, selection, read, physical));
    const std::uint64_t records = read.recordsStored();
    for (std::uint64_t record = 0; record < records; ++record) {
        table.addRow(valueRow(read, selection.channels.size(), record));
        if (table.bufferedRows() >= kRowBatch) table.flush();
    }
    table.flush();
}

// Reads the selected values and prints them; the tool's exit code.
int dumpValues(MF4Content& content, const ChannelSelection& selection,
               const DumpOptions& options) {
    GroupRead read(content, selection.group, selection.channels, !options.raw);
    noteSkippedChannels(std::cerr, content, selection, read);
    const RecordRange range = rangeOf(options);
    const std::optional<std::uint64_t> total = read.countRecords(range);
    if (!total) {
        printFindings(std::cerr, read.findings());
        std::cerr << "mf4: cannot read the values of group " << selection.group << '\n';
        return kExitErrors;
    }
    const std::uint64_t wanted = options.all ? *total : std::min(*total, options.limit);
    const std::uint32_t result = read.read(range, wanted);
    printFindings(std::cerr, read.findings());
    printTable(content, selection, read, !options.raw);
    std::cout.flush();

    const std::uint64_t shown = read.recordsStored();
    if (shown < *total && shown == wanted)
        std::cerr << "mf4: showed " << shown << " of " << *total
                  << " records; --limit N or --all shows more\n";
    return result == MF4_ERRORS || shown < wanted ? kExitErrors : kExitClean;
}

int dump(const DumpOptions& options) {
    ContentReading reading(options.file, false);
    MF4Content* tree = contentWithGroups(reading, options.file);
    if (tree == nullptr) return kExitErrors;
    MF4Content& content = *tree;
    const SelectionOutcome chosen = selectChannels(content, options.group, options.channels);
    if (!chosen.selection) {
        std::cerr << "mf4: " << chosen.error << '\n';
        return kExitUsage;
    }
    const int exitCode = options.reduces() ? dumpBuckets(content, *chosen.selection, options)
                                           : dumpValues(content, *chosen.selection, options);
    return reading.result() == MF4_ERRORS ? std::max<int>(exitCode, kExitErrors) : exitCode;
}

// Adds --from, --count, --start, --end and --neighbours.
RangeOptions addRangeOptions(CLI::App& command, DumpOptions& options) {
    RangeOptions range{};
    range.from = command.add_option("--from", options.from, "First record index (default 0)");
    range.count =
        command.add_option("--count", options.count, "Number of records (default: all)");
    range.start = command.add_option("--start", options.start, "First master time");
    range.end = command.add_option("--end", options.end, "Last master time");
    for (CLI::Option* byIndex : {range.from, range.count})
        for (CLI::Option* byTime : {range.start, range.end}) byIndex->excludes(byTime);
    range.neighbours = command.add_flag(
        "--neighbours", options.neighbours,
        "Add the record just before and just after the range (with --bucket-time: the nearest "
        "bucket with values on each side)");
    command.add_flag("--raw", options.raw,
                     "Print the values as stored instead of their physical values");
    return range;
}

}  // namespace

void addDumpCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<DumpOptions>();
    CLI::App* command = app.add_subcommand(
        "dump", "Print the physical values of a group's channels, one row per record, or their "
                "reduction per bucket");
    command->footer(
        "Values are physical: each channel's conversion applied (texts of text conversions in "
        "quotes), the master in its unit; column titles carry the unit. --raw prints the values "
        "as stored (a column of a channel with a conversion is then titled \"name (raw)\"). "
        "With --buckets or --bucket-time each channel is reduced per bucket and printed as a "
        "table of its own (tables apart by a blank line): the first column tells where a value "
        "lies (\"record\": its record index; \"time\": the master value), the second gives the "
        "value. The raw values are reduced, then converted: minmax gives the samples of the "
        "smallest and the largest raw value of a bucket, the earlier first (one row when they "
        "are the same sample); a mean, the conversion of the raw mean, lies in the middle of its "
        "bucket. Only numeric channels can be reduced. --limit counts values per channel.");
    command->add_option("FILE", options->file, "MDF 4 file")->required();
    command->add_option("--group", options->group,
                        "Group index (default: the group of the first --channel, else 0)");
    command
        ->add_option("--channel", options->channels,
                     "Channel name, exactly as stored; repeat for more (default: all channels "
                     "of the group)")
        ->allow_extra_args(false);
    const RangeOptions range = addRangeOptions(*command, *options);
    CLI::Option* method = addBucketOptions(*command, *options, range);
    auto* limit = command->add_option(
        "--limit", options->limit,
        "Print at most this many records, or values per channel with buckets (default 1000)");
    command->add_flag("--all", options->all, "Print every record of the range")->excludes(limit);
    command->callback([options, method, &exitCode] {
        // Only buckets give --method a meaning; CLI11 can require all of several options, not
        // one of them.
        if (!options->reduces() && method->count() > 0)
            throw CLI::ValidationError("--method", "needs --buckets or --bucket-time");
        exitCode = dump(*options);
    });
}

}  // namespace mf4tool
