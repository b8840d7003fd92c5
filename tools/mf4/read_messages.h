// What `mf4 dump` and `mf4 export` tell on stderr beside the values: findings of the reads and
// the channels whose values they leave out.
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "TarvikMF4Access.h"
#include "channel_selection.h"
#include "content_reading.h"
#include "group_read.h"

namespace mf4tool {

// The errors among `findings` (warnings of the structure read do not concern the values).
void printErrors(std::ostream& out, std::span<const MF4Error> findings);

// A line for each selected channel that the read leaves out because its values have no fixed
// size the tool could make room for.
void noteSkippedChannels(std::ostream& out, const MF4Content& content,
                         const ChannelSelection& selection, const GroupRead& read);

// True when the tree has at least one data group; else says so on `out`.
bool hasGroups(std::ostream& out, const std::string& file, const MF4Content& content);

// "mf4: cannot read FILE (1 error, 0 warnings)" after the findings of the failed read.
void printUnreadable(std::ostream& out, const std::string& file,
                     std::span<const MF4Error> findings);

// The tree of a read for the commands that read values: null, after saying why on stderr,
// when the file could not be read or has no data groups; the read's errors are printed.
MF4Content* contentWithGroups(ContentReading& reading, const std::string& file);

}  // namespace mf4tool
