// `mf4 recover FILE`: repairs a file whose writer stopped before finishing it, and says what
// each group kept.
#pragma once

namespace CLI {
class App;
}

namespace mf4tool {

// Adds the subcommand; its run stores the tool's exit code in `exitCode`.
void addRecoverCommand(CLI::App& app, int& exitCode);

}  // namespace mf4tool
