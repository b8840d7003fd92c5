// `mf4 info FILE [--json] [--no-events]`: shows a file's content tree, as text for people or as
// one JSON document for programs.
#pragma once

namespace CLI {
class App;
}

namespace mf4tool {

// Adds the subcommand; its run stores the tool's exit code in `exitCode`.
void addInfoCommand(CLI::App& app, int& exitCode);

}  // namespace mf4tool
