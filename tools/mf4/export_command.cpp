#include "export_command.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "channel_selection.h"
#include "content_reading.h"
#include "csv_text.h"
#include "exit_codes.h"
#include "findings_printer.h"
#include "group_read.h"
#include "host_text.h"
#include "one_line.h"
#include "progress_display.h"
#include "read_messages.h"
#include "record_text.h"

namespace mf4tool {

namespace {

// Records read per ReadData call: bounds the tool's memory whatever the file's size.
constexpr std::uint64_t kChunkRecords = 100'000;

struct ExportOptions {
    std::string file;
    std::string csv;
    std::string group = "0";
    bool raw = false;  // values as stored instead of physical values
};

std::optional<std::uint64_t> groupNumber(const std::string& text) {
    std::uint64_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return number;
}

// OUT itself for a single group; for one of all groups OUT with "_<group>" before the
// extension ("run.csv" -> "run_2.csv").
std::filesystem::path outputPath(const std::string& out, std::optional<std::uint64_t> group) {
    const std::filesystem::path path = systemPath(out);
    if (!group) return path;
    std::filesystem::path named = path.parent_path() / path.stem();
    named += "_" + std::to_string(*group);
    named += path.extension();
    return named;
}

std::string headerLine(const MF4Content& content, const ChannelSelection& selection,
                       const GroupRead& read, bool physical) {
    std::string line;
    appendCsvField(line, masterTitle(content, content.groups[selection.group], physical));
    for (std::size_t i = 0; i < selection.channels.size(); ++i) {
        const ValueBuffer* values = read.channel(i);
        if (values == nullptr) continue;
        const std::string title = channelTitle(content, content.channels[selection.channels[i]], physical);
        // Array elements get a column each, named by their position in the record's value.
        const ValueLayout& layout = values->layout();
        for (std::uint64_t element = 0; element < layout.elementsPerRecord; ++element) {
            line += ',';
            appendCsvField(line, layout.isArray ? title + '[' + std::to_string(element) + ']'
                                                : title);
        }
    }
    return line.append(kCsvRecordEnd);
}

// The rows of the records the last read stored, appended to `text`.
void appendRows(std::string& text, const GroupRead& read, std::size_t channelCount) {
    const ValueBuffer* master = read.master();
    const std::uint64_t records = read.recordsStored();
    for (std::uint64_t record = 0; record < records; ++record) {
        if (master != nullptr) text += elementText(*master, record, 0, read.masterPhysical());
        for (std::size_t i = 0; i < channelCount; ++i) {
            const ValueBuffer* values = read.channel(i);
            if (values == nullptr) continue;
            const bool stored = record < values->recordsStored();
            for (std::uint64_t e = 0; e < values->layout().elementsPerRecord; ++e) {
                text += ',';
                if (stored) appendCsvField(text, elementText(*values, record, e, read.channelPhysical(i)));
            }
        }
        text += kCsvRecordEnd;
    }
}

// Reads the group's `total` records chunk by chunk and writes their rows to `out`; the number
// of records written, less than `total` when a read fell short (its findings say why).
std::uint64_t writeRecords(std::ostream& out, GroupRead& read, std::uint64_t group,
                           std::uint64_t total, std::size_t channelCount) {
    ProgressDisplay progress("exporting group " + std::to_string(group));
    RecordRange range;  // by index
    std::string text;
    std::uint64_t done = 0;
    while (done < total) {
        range.firstSample = done;
        range.sampleCount = std::min(kChunkRecords, total - done);
        const std::uint32_t result = read.read(range, range.sampleCount);
        printFindings(std::cerr, read.findings());
        text.clear();
        appendRows(text, read, channelCount);
        out << text;
        done += read.recordsStored();
        progress.update(done, total);
        if (!out || result == MF4_ERRORS || read.recordsStored() < range.sampleCount) break;
    }
    return done;
}

// Writes group `group` to `path`; the tool's exit code.
int exportGroup(MF4Content& content, std::uint64_t group, const std::filesystem::path& path,
                bool physical) {
    const SelectionOutcome chosen = selectChannels(content, group, {});
    if (!chosen.selection) {
        std::cerr << "mf4: " << chosen.error << '\n';
        return kExitUsage;
    }
    const ChannelSelection& selection = *chosen.selection;
    GroupRead read(content, group, selection.channels, physical);
    noteSkippedChannels(std::cerr, content, selection, read);
    const std::optional<std::uint64_t> total = read.countRecords(RecordRange{});
    if (!total) {
        printFindings(std::cerr, read.findings());
        std::cerr << "mf4: cannot read the values of group " << group << '\n';
        return kExitErrors;
    }

    const std::string shownPath = flattened(pathText(path));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) out << headerLine(content, selection, read, physical);
    const std::uint64_t done =
        out ? writeRecords(out, read, group, *total, selection.channels.size()) : 0;
    out.close();
    if (!out) {
        std::cerr << "mf4: cannot write " << shownPath << '\n';
        return kExitErrors;
    }
    if (done < *total) {
        std::cerr << "mf4: group " << group << ": wrote " << done << " of " << *total
                  << " records to " << shownPath << '\n';
        return kExitErrors;
    }
    return kExitClean;
}

int exportCsv(const ExportOptions& options) {
    const bool allGroups = options.group == "all";
    const std::optional<std::uint64_t> group = groupNumber(options.group);
    if (!allGroups && !group) {
        std::cerr << "mf4: --group takes a group index or \"all\", not \"" << options.group
                  << "\"\n";
        return kExitUsage;
    }
    ContentReading reading(options.file, false);
    MF4Content* tree = contentWithGroups(reading, options.file);
    if (tree == nullptr) return kExitErrors;
    MF4Content& content = *tree;

    int exitCode = reading.result() == MF4_ERRORS ? kExitErrors : kExitClean;
    if (!allGroups)
        return std::max(exitCode,
                        exportGroup(content, *group, outputPath(options.csv, {}), !options.raw));
    for (std::uint64_t g = 0; g < content.groupCount; ++g)
        exitCode = std::max(exitCode,
                            exportGroup(content, g, outputPath(options.csv, g), !options.raw));
    return exitCode;
}

}  // namespace

void addExportCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ExportOptions>();
    CLI::App* command = app.add_subcommand(
        "export", "Write the physical values of all channels of a group to a CSV file");
    command->add_option("FILE", options->file, "MDF 4 file")->required();
    command->add_option("--csv", options->csv, "CSV file to write")->required();
    command->add_option("--group", options->group,
                        "Group index, or \"all\" for one file per group named OUT_<index>.ext "
                        "(default 0)");
    command->add_flag("--raw", options->raw,
                      "Write the values as stored instead of their physical values (the columns "
                      "of channels with a conversion are titled \"name (raw)\")");
    command->callback([options, &exitCode] { exitCode = exportCsv(*options); });
}

}  // namespace mf4tool
