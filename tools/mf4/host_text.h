// Text helpers of the tool: the library speaks UTF-16, the terminal UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "TarvikMF4Access.h"

namespace mf4tool {

std::u16string toLibraryText(std::string_view utf8);
// UTF-8 form of a library text; empty for null.
std::string toTerminalText(const MF4Char* text);

}  // namespace mf4tool
