// Releasing content records: everything a tree owns, in the documented order, with the C
// runtime allocator the library hands memory out with.
#pragma once

#include <cstdint>

#include "TarvikMF4Access.h"

namespace tarvik {

// Releases every text, array and sub-record of `content` and then the root itself.
void releaseContentTree(MF4Content* content);

// Releases each name and value, then the array; the count becomes 0.
void releaseProperties(MF4Property*& properties, std::uint64_t& count);

// Releases what one channel owns (its members recursively), not the record itself.
void releaseChannel(MF4Channel& channel);

// Releases the texts, table and properties of one conversion, not the record itself.
void releaseConversion(MF4Conversion& conversion);

}  // namespace tarvik
