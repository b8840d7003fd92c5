// Completing a file written by WriteContent and WriteData: the host's late changes (events,
// start time, comments) reach the file, the last DL of every chain shrinks to what it holds,
// and the file id becomes "MDF     ".
#pragma once

#include "writer/write_session.h"

namespace tarvik {

class FindingList;
class XmlCallContext;
class ZtIFileHandle;

// Runs the finishing steps in order; the first that fails ends them and leaves the file marked
// unfinished. The handle's cached stream is closed either way. kOk or kFailed.
int finishFile(ZtIFileHandle& file, WriteSession& session, XmlCallContext& xml, FindingList& findings);

}  // namespace tarvik
