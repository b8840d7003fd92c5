// `mf4 props FILE`: lists the header comment of a finished file and its properties, and sets
// them in place with one UpdateProperties call.
#pragma once

namespace CLI {
class App;
}

namespace mf4tool {

// Adds the subcommand; its run stores the tool's exit code in `exitCode`.
void addPropsCommand(CLI::App& app, int& exitCode);

}  // namespace mf4tool
