#include "check_command.h"

#include <cstdio>
#include <iostream>

#include <CLI/CLI.hpp>

#include "TarvikMF4Access.h"
#include "host_text.h"

namespace mf4tool {

namespace {

void printFinding(const MF4Error& finding) {
    const char* kind = finding.severity == 0 ? "error" : "warning";
    std::cout << kind << ' ' << finding.messageId << ": ";
    if (finding.message != nullptr) {
        std::cout << toTerminalText(finding.message);
    } else {
        // Without the message file only the details can be shown.
        std::cout << toTerminalText(finding.detail1);
        if (finding.detail2 != nullptr) std::cout << " (" << toTerminalText(finding.detail2) << ')';
    }
    std::cout << '\n';
}

int check(const std::string& file) {
    const std::u16string path = toLibraryText(file);
    MF4Content* content = nullptr;
    MF4Error* errors = nullptr;
    std::uint64_t errorCount = 0;
    const std::uint32_t result = ReadContent(path.c_str(), &content, &errors, &errorCount);
    for (std::uint64_t i = 0; i < errorCount; ++i) printFinding(errors[i]);
    FreeErrors(errors, errorCount);
    FreeContent(content);
    if (result == MF4_ERRORS && errorCount == 0)
        std::cout << file << ": the library could not deliver the content of this file\n";
    else if (errorCount == 0)
        std::cout << file << ": no findings\n";
    return result == MF4_ERRORS ? kExitErrors : kExitClean;
}

}  // namespace

void addCheckCommand(CLI::App& app, std::string& file, int& exitCode) {
    CLI::App* command = app.add_subcommand("check", "Read FILE and print every finding with its message");
    command->add_option("FILE", file, "MDF 4 file")->required();
    command->callback([&file, &exitCode] { exitCode = check(file); });
}

}  // namespace mf4tool
