// Appending a WriteData request to a file being written: one DT block of packed records per
// group batch, the variable-length values of its channels in SD blocks, cycle counts and value
// ranges rewritten in place, acquisition-interruption events.
#pragma once

#include "TarvikMF4Access.h"
#include "writer/write_session.h"

namespace tarvik {

class FindingList;
class ZtCMF4Stream;

// True when every item of the request names a group or channel (member) the file has and
// carries values of the kind its channel stores; nothing is written for a request that fails.
bool isWritableRequest(const WriteSession& session, const MF4WriteRequest& request);

// Writes the group batches of a request checked by isWritableRequest, group items in request
// order. A block that cannot be written raises 142, a record buffer that cannot be had 144.
// kOk or kFailed.
int writeBatches(ZtCMF4Stream& stream, WriteSession& session, const MF4WriteRequest& request, FindingList& findings);

}  // namespace tarvik
