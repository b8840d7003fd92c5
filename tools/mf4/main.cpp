// mf4: a command-line window onto MDF 4 files, built on the library's public interface only;
// it reads files, writes them from CSV data or as a demonstration, and repairs, reduces or
// updates existing ones.
#include <exception>
#include <iostream>
#include <new>
#include <string>

#include <CLI/CLI.hpp>

#include "bookmarks_command.h"
#include "check_command.h"
#include "demo_command.h"
#include "dump_command.h"
#include "exit_codes.h"
#include "export_command.h"
#include "import_command.h"
#include "info_command.h"
#include "props_command.h"
#include "recover_command.h"
#include "reduce_command.h"
#include "tool_identity.h"

int main(int argc, char** argv) {
    // Reports can be large and the tool writes only through the C++ streams.
    std::ios::sync_with_stdio(false);
    CLI::App app{"mf4: look into and write ASAM MDF 4 measurement files with TarvikMF4Access"};
    app.footer("Exit codes: 0 no errors, 1 the file has errors or could not be read or written, "
               "2 wrong command line.");
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("mf4 ") + mf4tool::kToolVersion);

    int exitCode = mf4tool::kExitClean;
    mf4tool::addInfoCommand(app, exitCode);
    mf4tool::addCheckCommand(app, exitCode);
    mf4tool::addDumpCommand(app, exitCode);
    mf4tool::addExportCommand(app, exitCode);
    mf4tool::addImportCommand(app, exitCode);
    mf4tool::addDemoCommand(app, exitCode);
    mf4tool::addRecoverCommand(app, exitCode);
    mf4tool::addReduceCommand(app, exitCode);
    mf4tool::addBookmarksCommand(app, exitCode);
    mf4tool::addPropsCommand(app, exitCode);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int cliCode = app.exit(error);
        return cliCode == 0 ? 0 : mf4tool::kExitUsage;
    } catch (const std::bad_alloc&) {
        std::cerr << "mf4: out of memory\n";
        return mf4tool::kExitErrors;
    } catch (const std::exception& error) {
        std::cerr << "mf4: " << error.what() << '\n';
        return mf4tool::kExitErrors;
    }
    return exitCode;
}
