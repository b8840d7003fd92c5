// `mf4 dump` with --buckets or --bucket-time: each selected channel's values reduced per bucket
// (minimum and maximum, minimum, maximum or mean), printed as one table per channel whose rows
// give where a value lies (record index or master value) and the value.
#pragma once

#include "TarvikMF4Access.h"
#include "channel_selection.h"
#include "dump_options.h"

namespace mf4tool {

// Reads and prints the reduced values of `selection`; the tool's exit code.
int dumpBuckets(MF4Content& content, const ChannelSelection& selection,
                const DumpOptions& options);

}  // namespace mf4tool
