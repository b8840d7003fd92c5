// `mf4 export FILE --csv OUT [--group N|all] [--raw]`: writes the physical values (with --raw
// the values as stored) of every channel of a group to a CSV file, one row per record with the
// master value first. With `--group all` each group goes to its own file, OUT with "_<group>"
// before the extension.
#pragma once

namespace CLI {
class App;
}

namespace mf4tool {

// Adds the subcommand; its run stores the tool's exit code in `exitCode`.
void addExportCommand(CLI::App& app, int& exitCode);

}  // namespace mf4tool
