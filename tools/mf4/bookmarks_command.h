// `mf4 bookmarks FILE`: lists the markers (bookmarks) of a finished file, and adds or removes
// some in place with one UpdateBookmarks call.
#pragma once

namespace CLI {
class App;
}

namespace mf4tool {

// Adds the subcommand; its run stores the tool's exit code in `exitCode`.
void addBookmarksCommand(CLI::App& app, int& exitCode);

}  // namespace mf4tool
