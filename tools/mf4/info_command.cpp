#include "info_command.h"

#include <iostream>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "content_reading.h"
#include "exit_codes.h"
#include "findings_printer.h"
#include "json_report.h"
#include "one_line.h"
#include "text_report.h"

namespace mf4tool {

namespace {

struct InfoOptions {
    std::string file;
    bool json = false;
    bool noEvents = false;
};

int info(const InfoOptions& options) {
    const ContentReading reading(options.file, !options.noEvents);
    if (reading.content() == nullptr) {
        // Nothing to show: the findings say why, and stdout stays empty for a JSON reader.
        printFindings(std::cerr, reading.findings());
        std::cerr << "mf4: cannot read " << flattened(options.file) << " ("
                  << summaryText(countFindings(reading.findings())) << ")\n";
        return kExitErrors;
    }
    if (options.json)
        writeJsonReport(std::cout, options.file, reading.result(), *reading.content(),
                        reading.findings());
    else
        writeTextReport(std::cout, options.file, *reading.content(), reading.findings());
    std::cout.flush();
    return reading.result() == MF4_ERRORS ? kExitErrors : kExitClean;
}

}  // namespace

void addInfoCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* command = app.add_subcommand(
        "info", "Read FILE and show its content: header, groups, channels, conversions, events");
    command->add_option("FILE", options->file, "MDF 4 file")->required();
    command->add_flag("--json", options->json,
                      "Print one JSON document with every field of the content tree");
    command->add_flag("--no-events", options->noEvents, "Do not read the file's events");
    command->callback([options, &exitCode] { exitCode = info(*options); });
}

}  // namespace mf4tool
