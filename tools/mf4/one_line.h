// Makes library texts fit on one terminal line: findings, names and comments may carry line
// breaks or tabs, and comments may run to pages.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mf4tool {

// `utf8` with every run of line breaks, tabs and other control characters turned into one
// space, and without leading or trailing space. Spaces inside stay as they are: a message
// may quote a blank-padded identifier.
std::string flattened(std::string_view utf8);

// flattened(utf8), cut after `maxCharacters` characters (code points, never inside a UTF-8
// sequence) with "..." appended when something was cut.
std::string shortened(std::string_view utf8, std::size_t maxCharacters);

}  // namespace mf4tool
