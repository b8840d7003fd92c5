#include "reduce_command.h"

#include <iostream>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "content_reading.h"
#include "exit_codes.h"
#include "findings_printer.h"
#include "host_text.h"
#include "one_line.h"
#include "progress_display.h"

namespace mf4tool {

namespace {

// Which groups had reduction data before the call: those are left as they were.
std::vector<bool> reducedGroups(const MF4Content& content) {
    std::vector<bool> reduced;
    for (std::uint64_t g = 0; g < content.groupCount; ++g) reduced.push_back(content.groups[g].reductionRaster > 0);
    return reduced;
}

int reduce(const std::string& path) {
    const std::string file = flattened(path);
    std::vector<bool> before;
    {
        const ContentReading reading(path, false);
        if (reading.content() == nullptr) {
            printFindings(std::cout, reading.findings());
            std::cout << file << ": cannot be read, not reduced\n";
            return kExitErrors;
        }
        before = reducedGroups(*reading.content());
    }
    MF4Error* errors = nullptr;
    std::uint64_t errorCount = 0;
    std::uint32_t result = MF4_ERRORS;
    {
        // One call does the work; the line shows that it runs and when it is done.
        ProgressDisplay progress("reducing " + file);
        progress.update(0, 1);
        result = AddReductionData(toLibraryText(path).c_str(), &errors, &errorCount);
        progress.update(1, 1);
    }
    printFindings(std::cout, std::span<const MF4Error>(errors, errors ? errorCount : 0));
    FreeErrors(errors, errorCount);
    if (result == MF4_ERRORS) {
        std::cout << file << ": not reduced\n";
        return kExitErrors;
    }
    const ContentReading reading(path, false);
    const MF4Content* content = reading.content();
    if (content == nullptr) {
        printFindings(std::cout, reading.findings());
        std::cout << file << ": reduced, but it cannot be read\n";
        return kExitErrors;
    }
    std::uint64_t added = 0;
    for (std::uint64_t g = 0; g < content->groupCount; ++g) {
        const MF4ChannelGroup& group = content->groups[g];
        std::cout << "  [" << g << "] " << flattened(toTerminalText(group.acquisitionName)) << ": ";
        if (g < before.size() && before[g]) {
            std::cout << "had reduction data already\n";
        } else if (group.reductionRaster > 0) {
            ++added;
            // The finest level's interval is 16 times the raster the library reports.
            std::cout << group.cycleCount << " records, levels from " << 16 * group.reductionRaster << " s\n";
        } else {
            std::cout << (group.cycleCount == 0 ? "no records" : "not reduced") << '\n';
        }
    }
    std::cout << file << ": reduction data added to " << added << " of " << content->groupCount << " groups\n";
    return kExitClean;
}

}  // namespace

void addReduceCommand(CLI::App& app, int& exitCode) {
    auto file = std::make_shared<std::string>();
    CLI::App* command = app.add_subcommand(
        "reduce", "Add reduction levels (mean, minimum and maximum per interval, intervals growing by 16) to "
                  "every group of FILE that has none, so that down-sampled reads are fast");
    command->add_option("FILE", *file, "finished MDF 4 file")->required();
    command->callback([file, &exitCode] { exitCode = reduce(*file); });
}

}  // namespace mf4tool
