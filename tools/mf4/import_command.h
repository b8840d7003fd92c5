// `mf4 import CSV OUT [--time-column NAME] [--batch N]`: converts a CSV file into an MDF 4
// file of one group, whose master is the time column. The file is read twice, keeping only a
// few flags per column and one batch of rows, so memory stays flat whatever its size: the
// first pass checks every row and decides the columns' kinds, and only a file without fault
// is written, in the second pass, one WriteData call per batch.
#pragma once

namespace CLI {
class App;
}

namespace mf4tool {

// Adds the subcommand; its run stores the tool's exit code in `exitCode`.
void addImportCommand(CLI::App& app, int& exitCode);

}  // namespace mf4tool
