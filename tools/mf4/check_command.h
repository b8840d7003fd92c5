// `mf4 check FILE`: reads a file's structure and prints every finding with its message.
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace mf4tool {

// Exit codes of the tool, shown in `mf4 --help`.
enum ExitCode : int {
    kExitClean = 0,     // no errors (warnings may have been printed)
    kExitErrors = 1,    // the file has errors or could not be read
    kExitUsage = 2,     // the command line was wrong
};

void addCheckCommand(CLI::App& app, std::string& file, int& exitCode);

}  // namespace mf4tool
