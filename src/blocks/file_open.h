// Opening the file of a read or a write, with the findings that tell the host why it failed.
#pragma once

#include <string_view>

#include "blocks/stream.h"

namespace tarvik {

class FindingList;

// Opens `path` for reading. A path where nothing exists raises finding 141, a file that may
// not be read 148, any other failure 100. kOk or kFailed.
int openForReading(ZtCMF4Stream& stream, std::u16string_view path, FindingList& findings);

// Opens the stream's file handle for writing (create) or update. A missing file or folder
// raises finding 141, no access 147, any other failure 101. kOk or kFailed.
int openForWriting(ZtCMF4Stream& stream, OpenMode mode, FindingList& findings);

}  // namespace tarvik
