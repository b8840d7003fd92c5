// The header comment an UpdateProperties call asks for, composed from the file's own: every
// element the comment has stays, the text and the named common properties change.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "TarvikMF4Access.h"

namespace tarvik {

// `current` is the file's HD comment (absent, plain text or XML). The "TX" element gets
// `text`, or `keptText` when `text` is null (neither: TX stays as it is); each property sets
// value and type attribute of the common property of its name, added when missing. The XML is
// not validated here. Nothing when memory runs out.
std::optional<std::u16string> composeHeaderComment(const std::optional<std::u16string>& current, const MF4Char* text,
                                                   const MF4Char* keptText, const MF4Property* properties,
                                                   std::uint64_t count);

}  // namespace tarvik
