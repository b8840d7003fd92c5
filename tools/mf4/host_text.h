// Text helpers of the tool: the library speaks UTF-16, the terminal UTF-8.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "TarvikMF4Access.h"

namespace mf4tool {

std::u16string toLibraryText(std::string_view utf8);
// UTF-8 form of a library text; empty for null.
std::string toTerminalText(const MF4Char* text);
// A path given in UTF-8 (the command line), for the C++ file streams: on Windows a plain string
// would be read in the system's code page.
std::filesystem::path systemPath(std::string_view utf8);
// UTF-8 form of a path, for messages.
std::string pathText(const std::filesystem::path& path);
// UTF-8 form of MF4Content.programId: its 8 bytes read as Latin-1, up to the first zero byte.
std::string programIdText(const MF4Content& content);

}  // namespace mf4tool
