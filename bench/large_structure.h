// A file shaped like the structure of a large real measurement: many groups, thousands of
// channels with conversions, and tens of thousands of small text blocks, with a little data per
// group. Made byte by byte with the tests' file builder, so it needs no other library code.
#pragma once

#include <cstddef>
#include <string>

namespace tarvik::bench {

struct LargeStructureShape {
    std::size_t groups = 192;
    std::size_t channels = 3618;     // masters included, spread evenly over the groups
    std::size_t conversions = 3013;  // linear ones and value-to-text tables
    std::size_t records = 16;        // per group
};

struct LargeStructureCounts {
    std::size_t groups = 0, channels = 0, conversions = 0, texts = 0;
};

// The bytes of the file, and how many blocks of each kind it holds.
std::string largeStructureFile(const LargeStructureShape& shape, LargeStructureCounts& counts);

}  // namespace tarvik::bench
