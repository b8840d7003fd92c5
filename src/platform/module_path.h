// Where the library itself lies, so that files installed beside it can be found.
#pragma once

#include <string>

namespace tarvik::platform {

// Directory (UTF-16, no trailing separator) of the binary that contains this code: the
// shared library for hosts, the executable when the code is linked statically. Symbolic
// links are not resolved. Empty when the system cannot tell.
std::u16string moduleDirectory();

}  // namespace tarvik::platform
