// Comma-separated values after RFC 4180: fields holding a comma, a double quote or a line
// break are put in double quotes, with the quotes inside doubled; records end with CR LF.
#pragma once

#include <string>
#include <string_view>

namespace mf4tool {

inline constexpr std::string_view kCsvRecordEnd = "\r\n";

// Appends `field` to `line`, quoted when it has to be.
void appendCsvField(std::string& line, std::string_view field);

}  // namespace mf4tool
