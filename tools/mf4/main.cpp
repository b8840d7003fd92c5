// mf4: a command-line window onto MDF 4 files, built on the library's public interface only;
// it reads files, writes them from CSV data or as a demonstration, and repairs, reduces or
// updates existing ones.
#include <algorithm>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#include <shellapi.h>
#endif

#include <CLI/CLI.hpp>

#include "bookmarks_command.h"
#include "check_command.h"
#include "demo_command.h"
#include "dump_command.h"
#include "exit_codes.h"
#include "export_command.h"
#include "import_command.h"
#include "info_command.h"
#include "platform/text.h"
#include "props_command.h"
#include "recover_command.h"
#include "reduce_command.h"
#include "tool_identity.h"

namespace {

// The arguments after the program's name in UTF-8, last first, as CLI11 takes a list. Windows
// hands main() its arguments in the system's code page, so there they come from the wide
// command line.
std::vector<std::string> utf8Arguments(int argc, char** argv) {
    std::vector<std::string> arguments;
#if defined(_WIN32)
    (void)argc;
    (void)argv;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; wide != nullptr && i < count; ++i) {
        const std::u16string_view text(reinterpret_cast<const char16_t*>(wide[i]), std::char_traits<wchar_t>::length(wide[i]));
        arguments.push_back(tarvik::platform::utf16ToUtf8(text));
    }
    LocalFree(wide);
#else
    arguments.assign(argv + std::min(argc, 1), argv + argc);
#endif
    std::reverse(arguments.begin(), arguments.end());
    return arguments;
}

}  // namespace

int main(int argc, char** argv) {
    // Reports can be large and the tool writes only through the C++ streams.
    std::ios::sync_with_stdio(false);
#if defined(_WIN32)
    // The tool prints UTF-8, which a Windows console shows only when told so.
    SetConsoleOutputCP(CP_UTF8);
#endif
    CLI::App app{"mf4: look into and write ASAM MDF 4 measurement files with TarvikMF4Access", "mf4"};
    app.footer("Exit codes: 0 no errors, 1 the file has errors or could not be read or written, "
               "2 wrong command line.");
    app.require_subcommand(1);
    // Paths such as /data/run.mf4 are files, not options, on Windows too.
    app.allow_windows_style_options(false);
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
        std::vector<std::string> arguments = utf8Arguments(argc, argv);
        app.parse(arguments);
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
