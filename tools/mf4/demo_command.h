// `mf4 demo OUT`: writes a small made-up test drive through the library's writing functions,
// the way a data logger would (a tree first, then one batch per second, then the finish), and
// prints what it wrote. The file shows most of what the writer supports: two groups at
// different rates, integers, floats, a bit field, an array, texts of variable length, linear
// and value-to-text conversions, events, an embedded attachment and header properties.
#pragma once

namespace CLI {
class App;
}

namespace mf4tool {

// Adds the subcommand; its run stores the tool's exit code in `exitCode`.
void addDemoCommand(CLI::App& app, int& exitCode);

}  // namespace mf4tool
