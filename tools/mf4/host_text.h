// Text helpers of the tool: the library speaks UTF-16, the terminal UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "TarvikMF4Access.h"

namespace mf4tool {

std::u16string toLibraryText(std::string_view utf8);
// UTF-8 form of a library text; empty for null.
std::string toTerminalText(const MF4Char* text);
// UTF-8 form of MF4Content.programId: its 8 bytes read as Latin-1, up to the first zero byte.
std::string programIdText(const MF4Content& content);

}  // namespace mf4tool
