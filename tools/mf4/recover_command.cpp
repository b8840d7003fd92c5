#include "recover_command.h"

#include <iostream>
#include <memory>
#include <span>
#include <string>

#include <CLI/CLI.hpp>

#include "content_reading.h"
#include "exit_codes.h"
#include "findings_printer.h"
#include "host_text.h"
#include "one_line.h"

namespace mf4tool {

namespace {

int recover(const std::string& path) {
    const std::string file = flattened(path);
    const std::u16string widePath = toLibraryText(path);
    MF4Error* errors = nullptr;
    std::uint64_t errorCount = 0;
    const std::uint32_t result = RecoverStreamingFile(widePath.c_str(), &errors, &errorCount);
    printFindings(std::cout, std::span<const MF4Error>(errors, errors ? errorCount : 0));
    FreeErrors(errors, errorCount);
    if (result == MF4_ERRORS) {
        std::cout << file << ": not recovered\n";
        return kExitErrors;
    }
    // What each group holds now, as any reader sees it.
    const ContentReading reading(path, false);
    const MF4Content* content = reading.content();
    if (content == nullptr) {
        printFindings(std::cout, reading.findings());
        std::cout << file << ": recovered, but it cannot be read\n";
        return kExitErrors;
    }
    for (std::uint64_t g = 0; g < content->groupCount; ++g) {
        const MF4ChannelGroup& group = content->groups[g];
        std::cout << "  [" << g << "] " << flattened(toTerminalText(group.acquisitionName)) << ": " << group.cycleCount
                  << " records\n";
    }
    std::cout << file << ": recovered, " << content->groupCount << " groups\n";
    return kExitClean;
}

}  // namespace

void addRecoverCommand(CLI::App& app, int& exitCode) {
    auto file = std::make_shared<std::string>();
    CLI::App* command = app.add_subcommand(
        "recover", "Repair FILE, left unfinished by a writer that stopped: keep the whole records of "
                   "every group whose time rises, mark the file finished, and list the records kept");
    command->add_option("FILE", *file, "MDF 4 file (\"UnFinMF \"); a finished file is left as it is")->required();
    command->callback([file, &exitCode] { exitCode = recover(*file); });
}

}  // namespace mf4tool
