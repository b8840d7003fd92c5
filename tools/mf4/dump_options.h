// What `mf4 dump` was asked for on the command line: the file, the channels, the range of
// records, how much to print, and for a reduced dump the size of its buckets.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "TarvikMF4Access.h"

namespace mf4tool {

struct DumpOptions {
    std::string file;
    std::optional<std::uint64_t> group;
    std::vector<std::string> channels;
    std::optional<std::uint64_t> from;
    std::optional<std::uint64_t> count;
    std::optional<double> start;
    std::optional<double> end;
    bool neighbours = false;
    bool raw = false;  // values as stored instead of physical values
    std::uint64_t limit = 1000;  // values per channel
    bool all = false;

    std::optional<std::uint64_t> buckets;  // records per bucket
    std::optional<double> bucketTime;      // master units per bucket
    std::uint32_t method = MF4_DOWNSAMPLE_MIN_MAX;
    // Finest reduction level a time-bucketed read may use: negative allows any level up to the
    // bucket size, 0 keeps to the raw records.
    double levelTime = -1;

    // True when the values are to be reduced per bucket rather than printed one by one.
    bool reduces() const { return buckets.has_value() || bucketTime.has_value(); }
};

}  // namespace mf4tool
