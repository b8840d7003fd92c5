// The file-history entry every update ends with: who changed the file (the tool named by
// UpdateToolInformation), when, and the host's text about it.
#pragma once

#include <string>

#include "TarvikMF4Access.h"

namespace tarvik {

class FileUpdate;

// Writes `comment` (the entry's validated FH comment, rendered before anything was written)
// and the FH block at the end of the file, links it behind the last entry (or from the
// header when the file has none), and brings layer and tree in step: the history gains the
// entry and historyComment becomes a copy of `text`. kOk or kFailed.
int appendHistoryEntry(FileUpdate& update, const std::u16string& comment, const MF4Char* text);

}  // namespace tarvik
