#include "import_command.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "csv_columns.h"
#include "csv_reader.h"
#include "exit_codes.h"
#include "file_writing.h"
#include "host_text.h"
#include "number_text.h"
#include "one_line.h"
#include "progress_display.h"
#include "tool_identity.h"
#include "value_text.h"

namespace mf4tool {

namespace {

constexpr const char* kWho = "mf4 import";
// Cells quoted in messages are cut to this many characters.
constexpr std::size_t kCellWidth = 40;

// The rules of the import, shown below the options by `mf4 import --help`.
constexpr const char* kRules =
    "The first row names the columns; a unit may follow a name in brackets: \"speed [km/h]\".\n"
    "Fields are separated by commas; a field in double quotes may hold commas and line breaks,\n"
    "with a doubled \"\" for a quote. Spaces around a field are dropped, empty lines skipped.\n"
    "The time column (the first, or --time-column) becomes the f64 master, in seconds: every\n"
    "row needs a finite number there, never smaller than the one before. Every other column\n"
    "becomes a channel of the kind its cells allow: i64 when every cell is an integer, f64\n"
    "when every cell is a number or empty (an empty cell becomes NaN), else text (an empty\n"
    "cell becomes an empty text). The group is named after the CSV file; the start time is\n"
    "the CSV file's last change.\n"
    "A first pass checks every row before anything is written: a malformed file (a row with\n"
    "the wrong number of fields, an unterminated quote, a bad time) is reported with its line\n"
    "and column, exit code 1, and creates no output (an existing OUT stays as it was). A write\n"
    "that fails later removes the unfinished output.\n";

struct ImportOptions {
    std::string csv;
    std::string out;
    std::string timeColumn;
    std::uint64_t batch = 10'000;
};

// What the first pass learned of the file.
struct CsvPlan {
    std::vector<ColumnTitle> titles;
    std::vector<ColumnKind> kinds;  // the time column's entry is unused
    std::size_t timeColumn = 0;
    std::uint64_t rows = 0;
};

void tell(const std::string& csv, const CsvProblem& problem) {
    std::cerr << kWho << ": " << flattened(csv) << " line " << problem.line << ", column "
              << problem.column << ": " << problem.message << '\n';
}

std::string cellText(const std::string& cell) {
    return cell.empty() ? "an empty cell" : quotedText(shortened(cell, kCellWidth));
}

// The checks every data row must pass: its number of fields, and a time that is a finite
// number not below the one of the row before (`time` holds it, and gets this row's).
std::optional<CsvProblem> rowProblem(const std::vector<std::string>& fields, const CsvPlan& plan,
                                     std::uint64_t line, double& time) {
    const std::size_t columns = plan.titles.size();
    if (fields.size() != columns)
        return CsvProblem{line, std::min(fields.size(), columns) + 1,
                          "expected " + std::to_string(columns) + " fields, found " +
                              std::to_string(fields.size())};
    const std::string& cell = fields[plan.timeColumn];
    const std::optional<double> value = numberCell(cell);
    if (!value || !std::isfinite(*value))
        return CsvProblem{line, plan.timeColumn + 1,
                          "the time must be a number, found " + cellText(cell)};
    if (*value < time)
        return CsvProblem{line, plan.timeColumn + 1,
                          "the time goes back from " + shortestText(time) + " to " + cell};
    time = *value;
    return std::nullopt;
}

// First pass: the header and every row checked, the column kinds decided; an exit code.
int surveyCsv(const ImportOptions& options, CsvPlan& plan) {
    std::ifstream in(systemPath(options.csv), std::ios::binary);
    if (!in) {
        std::cerr << kWho << ": cannot open " << flattened(options.csv) << '\n';
        return kExitErrors;
    }
    CsvReader reader(in);
    std::vector<std::string> fields;
    if (!reader.next(fields)) {
        if (reader.problem()) tell(options.csv, *reader.problem());
        else std::cerr << kWho << ": " << flattened(options.csv) << " has no header row\n";
        return kExitErrors;
    }
    for (const std::string& field : fields) {
        plan.titles.push_back(splitColumnTitle(field));
        if (plan.titles.back().name.empty()) {
            tell(options.csv, {reader.line(), plan.titles.size(), "the column has no name"});
            return kExitErrors;
        }
    }
    if (!options.timeColumn.empty()) {
        const auto named =
            std::find_if(plan.titles.begin(), plan.titles.end(),
                         [&](const ColumnTitle& t) { return t.name == options.timeColumn; });
        if (named == plan.titles.end()) {
            std::cerr << kWho << ": " << flattened(options.csv) << " has no column named \""
                      << flattened(options.timeColumn) << "\"\n";
            return kExitUsage;
        }
        plan.timeColumn = static_cast<std::size_t>(named - plan.titles.begin());
    }

    std::vector<ColumnSurvey> surveys(plan.titles.size());
    double time = -std::numeric_limits<double>::infinity();
    std::error_code ignored;
    const std::uint64_t size = std::filesystem::file_size(options.csv, ignored);
    ProgressDisplay progress("checking " + flattened(options.csv));
    while (reader.next(fields)) {
        progress.update(reader.bytesRead(), size);
        if (const auto problem = rowProblem(fields, plan, reader.line(), time)) {
            tell(options.csv, *problem);
            return kExitErrors;
        }
        for (std::size_t c = 0; c < fields.size(); ++c) surveys[c].add(fields[c]);
        ++plan.rows;
    }
    if (reader.problem()) {
        tell(options.csv, *reader.problem());
        return kExitErrors;
    }
    if (in.bad()) {
        std::cerr << kWho << ": cannot read " << flattened(options.csv) << '\n';
        return kExitErrors;
    }
    for (const ColumnSurvey& survey : surveys) plan.kinds.push_back(survey.kind());
    return kExitClean;
}

// The CSV file has no date: its last change is the best guess at when the measurement was.
std::uint64_t modificationTimeNs(const std::string& file) {
    std::error_code error;
    const auto changed = std::filesystem::last_write_time(file, error);
    if (error) return 0;
    const auto since1970 = std::chrono::file_clock::to_sys(changed).time_since_epoch();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(since1970).count();
    return ns > 0 ? static_cast<std::uint64_t>(ns) : 0;
}

std::uint32_t valueTypeOf(ColumnKind kind) {
    switch (kind) {
        case ColumnKind::integer: return 20;
        case ColumnKind::number: return 5;
        case ColumnKind::text: return 30;
    }
    return 30;
}

struct ImportTree {
    TextStore texts;
    MF4ChannelGroup group{};
    MF4Conversion seconds{};
    std::vector<MF4Channel> channels;
    std::vector<std::size_t> columnOf;  // per channel, its column in the file
    MF4Content content{};
};

void buildTree(ImportTree& tree, const CsvPlan& plan, const ImportOptions& options) {
    TextStore& t = tree.texts;
    // The group has no field for the master's unit; a named identity conversion carries it.
    tree.seconds.structSize = sizeof tree.seconds;
    tree.seconds.name = t.add(plan.titles[plan.timeColumn].name);
    tree.seconds.unit = t.add("s");
    tree.seconds.defaultConversion = -1;

    const std::string stem = std::filesystem::path(options.csv).stem().string();
    tree.group.structSize = sizeof tree.group;
    tree.group.acquisitionName = t.add(stem.empty() ? "csv" : stem);
    tree.group.comment =
        t.add("imported from " + std::filesystem::path(options.csv).filename().string());
    tree.group.masterValueType = 5;
    tree.group.masterConversion = 0;

    for (std::size_t c = 0; c < plan.titles.size(); ++c) {
        if (c == plan.timeColumn) continue;
        MF4Channel ch{};
        ch.structSize = sizeof ch;
        ch.name = t.add(plan.titles[c].name);
        ch.unit = t.add(plan.titles[c].unit);
        ch.valueType = valueTypeOf(plan.kinds[c]);
        ch.bitCount = 64;
        ch.conversion = -1;
        ch.syncAttachment = -1;
        ch.lengthChannel = -1;
        ch.outputChannel = -1;
        ch.comparisonChannel = -1;
        tree.channels.push_back(ch);
        tree.columnOf.push_back(c);
    }

    MF4Content& content = tree.content;
    content.groups = &tree.group;
    content.groupCount = 1;
    content.channels = tree.channels.data();
    content.channelCount = tree.channels.size();
    content.conversions = &tree.seconds;
    content.conversionCount = 1;
    std::memcpy(content.programId, kToolProgramId, sizeof content.programId);
    content.formatVersion = 410;
    content.timeKind = 2;
    content.startTimeNs = modificationTimeNs(options.csv);
    content.toolVendor = t.add(kToolVendor);
    content.toolVersion = t.add(kToolVersion);
    content.headerComment = t.add("imported from " + options.csv);
}

// One batch of rows, column by column, in buffers sized once and reused by every batch. Only
// the vector of the column's kind is used.
struct ColumnBuffer {
    std::vector<std::int64_t> integers;
    std::vector<double> numbers;
    std::vector<std::string> texts;
    std::vector<const char*> pointers;
};

class BatchWriter {
public:
    BatchWriter(const ImportTree& tree, const CsvPlan& plan, std::size_t rows)
        : plan_(plan), columnOf_(tree.columnOf), times_(rows), buffers_(columnOf_.size()) {
        items_.resize(columnOf_.size());
        for (std::size_t i = 0; i < columnOf_.size(); ++i) {
            ColumnBuffer& buffer = buffers_[i];
            MF4WriteChannel& item = items_[i];
            item.structSize = sizeof item;
            item.channel = i;
            item.valueType = tree.channels[i].valueType;
            switch (plan.kinds[columnOf_[i]]) {
                case ColumnKind::integer:
                    buffer.integers.resize(rows);
                    item.values = buffer.integers.data();
                    break;
                case ColumnKind::number:
                    buffer.numbers.resize(rows);
                    item.values = buffer.numbers.data();
                    break;
                case ColumnKind::text:
                    buffer.texts.resize(rows);
                    buffer.pointers.resize(rows);
                    item.values = buffer.pointers.data();
                    break;
            }
        }
        group_.structSize = sizeof group_;
        group_.valueType = 5;
        group_.values = times_.data();
    }

    bool full() const { return rows_ == times_.size(); }

    // Stores one checked row; false when a cell no longer fits its column's kind.
    bool add(const std::vector<std::string>& fields) {
        times_[rows_] = *numberCell(fields[plan_.timeColumn]);
        for (std::size_t i = 0; i < columnOf_.size(); ++i) {
            const std::string& cell = fields[columnOf_[i]];
            ColumnBuffer& buffer = buffers_[i];
            switch (plan_.kinds[columnOf_[i]]) {
                case ColumnKind::integer: {
                    const std::optional<std::int64_t> value = integerCell(cell);
                    if (!value) return false;
                    buffer.integers[rows_] = *value;
                    break;
                }
                case ColumnKind::number: {
                    const std::optional<double> value =
                        cell.empty() ? std::numeric_limits<double>::quiet_NaN() : numberCell(cell);
                    if (!value) return false;
                    buffer.numbers[rows_] = *value;
                    break;
                }
                case ColumnKind::text: buffer.texts[rows_].assign(cell); break;
            }
        }
        ++rows_;
        return true;
    }

    bool write(FileWriting& writing) {
        for (std::size_t i = 0; i < columnOf_.size(); ++i) {
            ColumnBuffer& buffer = buffers_[i];
            // The texts are final only now: an assignment may have moved their characters.
            for (std::size_t r = 0; r < buffer.pointers.size() && r < rows_; ++r)
                buffer.pointers[r] = buffer.texts[r].c_str();
            items_[i].valueCount = rows_;
        }
        group_.valueCount = rows_;
        MF4WriteRequest request{};
        request.structSize = sizeof request;
        request.groupCount = 1;
        request.groups = &group_;
        request.channelCount = items_.size();
        request.channels = items_.data();
        rows_ = 0;
        return writing.write(request);
    }

private:
    const CsvPlan& plan_;
    const std::vector<std::size_t>& columnOf_;
    std::vector<double> times_;
    std::vector<ColumnBuffer> buffers_;
    std::vector<MF4WriteChannel> items_;
    MF4WriteGroup group_{};
    std::size_t rows_ = 0;
};

// Second pass: the rows the first pass counted, batch by batch; false when the write failed
// or the file changed since the first pass.
bool writeRows(const ImportOptions& options, const CsvPlan& plan, ImportTree& tree,
               FileWriting& writing) {
    std::ifstream in(systemPath(options.csv), std::ios::binary);
    CsvReader reader(in);
    std::vector<std::string> fields;
    std::error_code ignored;
    const std::uint64_t size = std::filesystem::file_size(options.csv, ignored);
    ProgressDisplay progress("importing " + flattened(options.csv));
    BatchWriter batch(tree, plan, std::min(options.batch, std::max<std::uint64_t>(plan.rows, 1)));
    double time = -std::numeric_limits<double>::infinity();
    bool read = reader.next(fields);  // the header
    for (std::uint64_t row = 0; read && row < plan.rows; ++row) {
        read = reader.next(fields) && !rowProblem(fields, plan, reader.line(), time) &&
               batch.add(fields);
        if (read && (batch.full() || row + 1 == plan.rows)) {
            if (!batch.write(writing)) return false;
            progress.update(reader.bytesRead(), size);
        }
    }
    if (!read) {
        std::cerr << kWho << ": " << flattened(options.csv) << " changed during the import (line "
                  << reader.line() << ")\n";
    }
    return read;
}

std::string summary(const ImportOptions& options, const CsvPlan& plan) {
    std::string line = flattened(options.csv) + ": " + std::to_string(plan.rows) +
                       (plan.rows == 1 ? " row, " : " rows, ") +
                       std::to_string(plan.titles.size()) +
                       (plan.titles.size() == 1 ? " column: " : " columns: ");
    for (std::size_t c = 0; c < plan.titles.size(); ++c) {
        if (c != 0) line += ", ";
        const ColumnTitle& title = plan.titles[c];
        line += flattened(title.name) + " (";
        line += c == plan.timeColumn ? "master, s" : columnKindName(plan.kinds[c]);
        if (c != plan.timeColumn && !title.unit.empty()) line += ", " + flattened(title.unit);
        line += ')';
    }
    return line + " -> " + flattened(options.out);
}

int importCsv(const ImportOptions& options) {
    std::error_code ignored;
    if (std::filesystem::equivalent(options.csv, options.out, ignored)) {
        std::cerr << kWho << ": the output would replace the input " << flattened(options.csv)
                  << '\n';
        return kExitUsage;
    }
    CsvPlan plan;
    if (const int code = surveyCsv(options, plan); code != kExitClean) return code;
    ImportTree tree;
    buildTree(tree, plan, options);
    FileWriting writing(tree.content, options.out, kWho);
    if (!writing.create() || !writeRows(options, plan, tree, writing) || !writing.finish())
        return kExitErrors;
    std::cout << summary(options, plan) << '\n';
    return writing.clean() ? kExitClean : kExitErrors;
}

}  // namespace

void addImportCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ImportOptions>();
    CLI::App* command =
        app.add_subcommand("import", "Convert a CSV file into an MDF 4 file of one group");
    command->add_option("CSV", options->csv, "CSV file to read")->required();
    command->add_option("OUT", options->out, "MDF 4 file to write (replaced when it exists)")
        ->required();
    command->add_option("--time-column", options->timeColumn,
                        "Name of the column that holds the time (default: the first column)");
    command->add_option("--batch", options->batch, "Rows per WriteData call (default 10000)")
        ->check(CLI::Range(std::uint64_t{1}, std::uint64_t{1'000'000'000}));
    command->footer(kRules);
    command->callback([options, &exitCode] { exitCode = importCsv(*options); });
}

}  // namespace mf4tool
