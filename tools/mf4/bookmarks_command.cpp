#include "bookmarks_command.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include "content_reading.h"
#include "exit_codes.h"
#include "file_update.h"
#include "file_writing.h"
#include "findings_printer.h"
#include "host_text.h"
#include "number_text.h"
#include "one_line.h"
#include "table_printer.h"
#include "tree_arrays.h"

namespace mf4tool {

namespace {

constexpr std::uint32_t kMarker = 6;
// Event cause "user": the markers this command adds are set by a person.
constexpr std::uint32_t kCauseUser = 4;
// Comments are cut to this many characters so that each marker keeps to one line.
constexpr std::size_t kCommentWidth = 100;

struct BookmarkOptions {
    std::string file;
    std::vector<std::pair<std::string, std::string>> additions;  // TIME, NAME
    std::string comment;
    std::vector<std::string> removals;
    std::string history;
    CLI::Option* commentOption = nullptr;
    CLI::Option* historyOption = nullptr;

    bool changes() const { return !additions.empty() || !removals.empty(); }
};

bool isMarkerNamed(const MF4Event& event, const std::u16string& name) {
    return event.eventType == kMarker && (event.name == nullptr ? name.empty() : event.name == name);
}

// The markers the file should have, each a copy that owns its texts and scope: the library
// replaces the tree's events while it works, so the list must not point into them.
class WantedMarkers {
public:
    void keep(const MF4Event& marker) {
        MF4Event& copy = events_.emplace_back(marker);
        copy.name = texts_.copy(marker.name);
        copy.comment = texts_.copy(marker.comment);
        copy.syntax = texts_.copy(marker.syntax);
        const auto scope = itemsOf(marker.scope, marker.scopeCount);
        copy.scope = scope.empty() ? nullptr : scopes_.emplace_back(scope.begin(), scope.end()).data();
        copy.scopeCount = static_cast<std::uint32_t>(scope.size());
    }

    void add(double seconds, const std::string& name, const std::string& comment) {
        events_.push_back(pointEvent(texts_, kMarker, kCauseUser, seconds, name, comment));
    }

    const MF4Event* data() const { return events_.empty() ? nullptr : events_.data(); }
    std::uint64_t size() const { return events_.size(); }

private:
    std::vector<MF4Event> events_;
    TextStore texts_;
    std::deque<std::vector<std::uint64_t>> scopes_;
};

// "<file>: 2 markers" and one line per marker in file order: time, quoted name, comment.
void printMarkers(const std::string& file, const MF4Content& content) {
    TablePrinter table(std::cout);
    for (const MF4Event& event : itemsOf(content.events, content.eventCount)) {
        if (event.eventType != kMarker) continue;
        std::vector<std::string> row{"  " + shortestText(event.syncValue) + " s",
                                     '"' + flattened(toTerminalText(event.name)) + '"'};
        const std::string comment = shortened(toTerminalText(event.comment), kCommentWidth);
        if (!comment.empty()) row.push_back(comment);
        table.addRow(std::move(row));
    }
    const std::size_t count = table.bufferedRows();
    std::cout << flattened(file) << ": ";
    if (count == 0)
        std::cout << "no markers\n";
    else
        std::cout << count << (count == 1 ? " marker\n" : " markers\n");
    table.flush();
}

int bookmarks(const BookmarkOptions& options) {
    ContentReading reading(options.file, true);
    MF4Content* content = treeToUpdate(reading, options.file);
    if (content == nullptr) return kExitErrors;
    const auto events = itemsOf(content->events, content->eventCount);
    std::vector<std::u16string> removals;
    for (const std::string& name : options.removals) {
        removals.push_back(toLibraryText(name));
        // Nothing is changed when one name misses: it is most likely mistyped.
        if (std::none_of(events.begin(), events.end(),
                         [&](const MF4Event& event) { return isMarkerNamed(event, removals.back()); })) {
            std::cerr << "mf4: " << flattened(options.file) << " has no marker named \"" << flattened(name)
                      << "\"\n";
            return kExitUsage;
        }
    }
    printFindings(std::cout, reading.findings());
    const int readCode = reading.result() == MF4_ERRORS ? kExitErrors : kExitClean;
    if (!options.changes()) {
        printMarkers(options.file, *content);
        return readCode;
    }

    WantedMarkers wanted;
    std::uint64_t removed = 0;
    for (const MF4Event& event : events) {
        if (event.eventType != kMarker) continue;
        const bool drop = std::any_of(removals.begin(), removals.end(),
                                      [&](const std::u16string& name) { return isMarkerNamed(event, name); });
        if (drop)
            ++removed;
        else
            wanted.keep(event);
    }
    for (const auto& [time, name] : options.additions)
        wanted.add(*finiteNumber(time), name, options.comment);
    const std::u16string history = toLibraryText(options.history);
    const std::uint32_t result = runUpdate(*content, options.file, "markers", [&](MF4Error** errors,
                                                                                 std::uint64_t* count) {
        return UpdateBookmarks(content, wanted.data(), wanted.size(), historyText(*options.historyOption, history),
                               errors, count);
    });
    if (result == MF4_ERRORS) return kExitErrors;
    std::cout << flattened(options.file) << ": " << options.additions.size() << " added, " << removed
              << " removed\n";
    printMarkers(options.file, *content);
    return readCode;
}

}  // namespace

void addBookmarksCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<BookmarkOptions>();
    CLI::App* command = app.add_subcommand(
        "bookmarks", "List the markers (bookmarks) of FILE: time, name and comment, in file order; "
                     "or add and remove markers in place");
    command->footer(
        "All changes of one run are made in one update: the file's markers less every marker "
        "named by --remove, plus every --add. --add may be given several times; --comment goes "
        "with a single --add. Other events are left as they are. A --remove that names no "
        "marker of the file is a wrong command line (exit code 2): nothing is changed. After a "
        "change the markers are listed as the file now holds them.");
    command->add_option("FILE", options->file, "finished MDF 4 file")->required();
    command->add_option("--add", options->additions, "Add a marker at TIME seconds named NAME")
        ->type_name("TIME NAME")
        ->allow_extra_args(false);
    options->commentOption =
        command->add_option("--comment", options->comment, "Comment of the marker that --add adds");
    command->add_option("--remove", options->removals, "Remove every marker named NAME")
        ->type_name("NAME")
        ->allow_extra_args(false);
    options->historyOption = addHistoryOption(*command, options->history);
    command->callback([options, &exitCode] {
        for (const auto& [time, name] : options->additions)
            if (!finiteNumber(time)) throw CLI::ValidationError("--add", "TIME is not a finite number: " + time);
        if (options->commentOption->count() > 0 && options->additions.size() != 1)
            throw CLI::ValidationError("--comment", "goes with exactly one --add");
        if (options->historyOption->count() > 0 && !options->changes())
            throw CLI::ValidationError("--history", "needs --add or --remove");
        exitCode = bookmarks(*options);
    });
}

}  // namespace mf4tool
