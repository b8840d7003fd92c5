// The master times of a group's first and last records, in the units time ranges are given in
// (after the master's linear conversion): what "the whole recording" means for a read by time
// that needs a definite start and end.
#pragma once

#include <cstdint>
#include <span>

#include "TarvikMF4Access.h"

namespace mf4tool {

struct MasterSpan {
    std::uint32_t result = MF4_ERRORS;  // of the reads; MF4_ERRORS when the span is unknown
    std::uint64_t records = 0;          // first and last are set when there are records
    double first = 0;
    double last = 0;
};

// Reads the group's record count and the master values of its first and last records. A
// group without a numeric master has no span (result MF4_ERRORS).
MasterSpan masterSpan(MF4Content& content, std::uint64_t group);

}  // namespace mf4tool
