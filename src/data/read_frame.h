// ReadData behind the interface: the request turned into one job per data group, each job read
// by the strategy of the request's mode.
#pragma once

#include "TarvikMF4Access.h"

namespace tarvik {

class ZtCBlockLayerCore;

// Reads the values `request` asks for from the file whose block records `blocks` holds and
// whose tree is `content`. The reading's own status (done, failed, cancelled) shows only in the
// counters. Returns 2 for modes without a strategy, else 0.
int readData(const MF4Content& content, ZtCBlockLayerCore& blocks, const MF4ReadRequest& request);

}  // namespace tarvik
