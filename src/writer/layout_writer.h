// Creating a new file from the host's content tree: every block of the tree is laid out once,
// marked unfinished, with no data yet; the session keeps what later calls patch.
#pragma once

#include "writer/write_session.h"

namespace tarvik {

class FindingList;
class XmlCallContext;
class ZtIFileHandle;

// Checks the tree and renders every comment first; only a tree without error findings creates
// the file (through `file`, whose path it is). Fills `session`. kOk or kFailed.
int writeContentFile(ZtIFileHandle& file, WriteSession& session, XmlCallContext& xml, FindingList& findings);

// The format version a tree asks for: 400, or 410 for anything else.
std::uint16_t writtenVersion(const MF4Content& content);

}  // namespace tarvik
