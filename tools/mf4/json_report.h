// `mf4 info --json`: the whole content tree and the findings of the read as one JSON document.
// Keys are the field names of the public header; indices stay numbers (-1 for none). Layout
// fields (structSize, reserved*) are left out, and attachments carry "hasData" instead of
// their bytes.
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "TarvikMF4Access.h"

namespace mf4tool {

void writeJsonReport(std::ostream& out, const std::string& file, std::uint32_t result,
                     const MF4Content& content, std::span<const MF4Error> findings);

}  // namespace mf4tool
