// What `mf4 bookmarks` and `mf4 props` share: an update of a finished file in place through
// the tree ReadContent gave, one library call per run, findings printed on stdout as `mf4
// recover` and `mf4 reduce` print theirs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "TarvikMF4Access.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace mf4tool {

class ContentReading;

// Adds --history TEXT, stored in `text`.
CLI::Option* addHistoryOption(CLI::App& command, std::string& text);

// The library form of --history's text, or null when the option was not given.
const MF4Char* historyText(const CLI::Option& option, const std::u16string& text);

// The tree of `reading`, or null after its findings and "<file>: cannot be read" went to
// stdout.
MF4Content* treeToUpdate(ContentReading& reading, const std::string& file);

// The call of an update, handed the out-parameters of its findings.
using UpdateCall = std::function<std::uint32_t(MF4Error** errors, std::uint64_t* errorCount)>;

// Names this tool in the history entry the update appends, makes `call`, prints its findings
// and returns its result; when that is MF4_ERRORS, also "<file>: <what> not updated".
std::uint32_t runUpdate(MF4Content& content, const std::string& file, const std::string& what,
                        const UpdateCall& call);

}  // namespace mf4tool
