// The command-line options of `mf4 dump` that reduce its values per bucket, and how they
// exclude the options of the plain dump's range.
#pragma once

#include "dump_options.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace mf4tool {

// The options that choose a range of records; the bucket options exclude some of them.
struct RangeOptions {
    CLI::Option* from;
    CLI::Option* count;
    CLI::Option* start;
    CLI::Option* end;
    CLI::Option* neighbours;
};

// Adds --buckets, --bucket-time, --method and --level-time, stored into `options`. Returns
// --method, which means something only together with --buckets or --bucket-time.
CLI::Option* addBucketOptions(CLI::App& command, DumpOptions& options,
                              const RangeOptions& range);

}  // namespace mf4tool
