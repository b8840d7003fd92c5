// `mf4 dump FILE [--group N] [--channel NAME ...] [--from N --count N | --start T --end T]
// [--neighbours] [--buckets N | --bucket-time W [--level-time L]] [--method minmax|min|max|mean]
// [--limit N | --all] [--raw]`: prints the physical values (with --raw the values as stored) of
// one group's channels as a table, one row per record with its master value first, or each
// channel's values reduced per bucket.
#pragma once

namespace CLI {
class App;
}

namespace mf4tool {

// Adds the subcommand; its run stores the tool's exit code in `exitCode`.
void addDumpCommand(CLI::App& app, int& exitCode);

}  // namespace mf4tool
