// Replacing the marker events of a file in place.
#pragma once

#include <cstdint>

#include "TarvikMF4Access.h"

namespace tarvik {

class FileUpdate;

// Makes the file's markers the `count` bookmarks given: markers already in the file that are
// wanted stay as they are, the others are unlinked, and the wanted ones the file lacks are
// written at its end and chained behind the last event; every other event stays. Then the
// history entry (`historyText`) is appended and the tree's events and history are rebuilt.
// Every comment is rendered and validated before the file is opened for writing. kOk or
// kFailed.
int updateBookmarks(FileUpdate& update, const MF4Event* bookmarks, std::uint64_t count, const MF4Char* historyText);

}  // namespace tarvik
