// Creating a new file from the host's content tree: every block of the tree is laid out once,
// marked unfinished, with no data yet; the session keeps what later calls patch.
#pragma once

#include <cstddef>
#include <string>

#include "blocks/fh_block.h"
#include "writer/write_session.h"

namespace tarvik {

class FindingList;
class XmlCallContext;
class ZtCMF4Stream;
class ZtIFileHandle;

// Zero bytes behind the header comment, so that a later, slightly longer comment can take its
// place without moving (nothing but zeros is ever mistaken for a block there).
inline constexpr std::size_t kTrailingZeros = 100;

// Checks the tree and renders every comment first; only a tree without error findings creates
// the file (through `file`, whose path it is). Fills `session`. kOk or kFailed.
int writeContentFile(ZtIFileHandle& file, WriteSession& session, XmlCallContext& xml, FindingList& findings);

// Writes, at the stream's position, one history entry of this library: `comment` as an MD block,
// then the FH block (next link as `record` has it) stamped with the system's time and time
// zone. `record` gets the positions. kOk or kFailed.
int writeLibraryHistoryEntry(ZtCMF4Stream& stream, const std::u16string& comment, FhRecord& record);

// The format version a tree asks for: 400, or 410 for anything else.
std::uint16_t writtenVersion(const MF4Content& content);

}  // namespace tarvik
