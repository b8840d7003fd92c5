// `mf4 check FILE`: reads a file's structure and prints every finding with its message.
#pragma once

namespace CLI {
class App;
}

namespace mf4tool {

// Adds the subcommand; its run stores the tool's exit code in `exitCode`.
void addCheckCommand(CLI::App& app, int& exitCode);

}  // namespace mf4tool
