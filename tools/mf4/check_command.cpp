#include "check_command.h"

#include <iostream>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "content_reading.h"
#include "exit_codes.h"
#include "findings_printer.h"
#include "one_line.h"

namespace mf4tool {

namespace {

int check(const std::string& path) {
    const ContentReading reading(path, true);
    const std::string file = flattened(path);
    printFindings(std::cout, reading.findings());
    if (reading.result() == MF4_ERRORS && reading.findings().empty())
        std::cout << file << ": the library could not deliver the content of this file\n";
    std::cout << file << ": " << summaryText(countFindings(reading.findings())) << '\n';
    return reading.result() == MF4_ERRORS ? kExitErrors : kExitClean;
}

}  // namespace

void addCheckCommand(CLI::App& app, int& exitCode) {
    auto file = std::make_shared<std::string>();
    CLI::App* command =
        app.add_subcommand("check", "Read FILE and print every finding with its message");
    command->add_option("FILE", *file, "MDF 4 file")->required();
    command->callback([file, &exitCode] { exitCode = check(*file); });
}

}  // namespace mf4tool
