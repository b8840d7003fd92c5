// `mf4 info` for people: the content tree as a compact, indented text.
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "TarvikMF4Access.h"

namespace mf4tool {

// Writes the tree read from `file`, then the findings of the read.
void writeTextReport(std::ostream& out, const std::string& file, const MF4Content& content,
                     std::span<const MF4Error> findings);

}  // namespace mf4tool
