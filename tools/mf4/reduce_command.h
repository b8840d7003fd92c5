// `mf4 reduce FILE`: adds reduction levels to a finished file, so that viewers can draw long
// recordings at once, and says what each group got.
#pragma once

namespace CLI {
class App;
}

namespace mf4tool {

// Adds the subcommand; its run stores the tool's exit code in `exitCode`.
void addReduceCommand(CLI::App& app, int& exitCode);

}  // namespace mf4tool
