// Turning the block records of a file into the content tree the host sees.
#pragma once

#include <string>

#include "TarvikMF4Access.h"

namespace tarvik {

class FindingList;
class XmlCallContext;
struct HdRecord;
struct IdRecord;

// Builds the content tree of a file whose structure was read: one group per data group kept,
// channels without masters, the conversion table, events, attachments (compressed ones
// inflated), the history, every comment parsed (finding 129 for comments that do not parse or
// validate). Null when the tree cannot be built (out of memory); a partly built tree is released.
MF4Content* buildContent(const IdRecord& id, const HdRecord& header, const std::u16string& path,
                         FindingList& findings, XmlCallContext& xml);

// Bring one part of a tree back in step with the block records after the file was changed in
// place: the events, the history entries, or the header comment text and its properties. The
// old part is released; when memory runs out (std::bad_alloc) the tree keeps the old part.
void rebuildEvents(MF4Content& content, const HdRecord& header, FindingList& findings, XmlCallContext& xml);
void rebuildHistory(MF4Content& content, const HdRecord& header, FindingList& findings, XmlCallContext& xml);
void rebuildHeaderComment(MF4Content& content, const HdRecord& header, FindingList& findings, XmlCallContext& xml);

}  // namespace tarvik
