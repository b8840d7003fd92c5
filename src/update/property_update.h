// Changing the header comment's text and common properties in place.
#pragma once

#include <cstdint>

#include "TarvikMF4Access.h"

namespace tarvik {

class FileUpdate;

// Composes the new header comment from the file's (text `headerComment`, or the tree's text
// when null; each property set by name), validates it against the schema of the file's version
// (finding 128 naming "HD Block" and "hd_md_comment", and nothing written, when it does not
// pass), writes it where it fits, adds the zero bytes that let it grow in place later, links
// it from the header, appends the history entry and rebuilds the tree's header comment,
// properties and history. kOk or kFailed.
int updateProperties(FileUpdate& update, const MF4Char* headerComment, const MF4Property* properties,
                     std::uint64_t count, const MF4Char* historyText);

}  // namespace tarvik
