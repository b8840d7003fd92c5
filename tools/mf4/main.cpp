// mf4: a command-line window onto MDF 4 files, built on the library's public interface only.
#include <CLI/CLI.hpp>

#include "check_command.h"

int main(int argc, char** argv) {
    CLI::App app{"mf4: look into ASAM MDF 4 measurement files with TarvikMF4Access"};
    app.footer("Exit codes: 0 no errors, 1 the file has errors or could not be read, "
               "2 wrong command line.");
    app.require_subcommand(1);
    app.set_version_flag("--version", "mf4 0.1.0");

    std::string file;
    int exitCode = mf4tool::kExitClean;
    mf4tool::addCheckCommand(app, file, exitCode);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int cliCode = app.exit(error);
        return cliCode == 0 ? 0 : mf4tool::kExitUsage;
    }
    return exitCode;
}
