// Channel values as exact text: integers in decimal, floats in the shortest form that reads
// back to the same value, strings as they are (or quoted for a table), byte arrays in hex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace mf4tool {

// The number of VARTYPE `valueType` stored (host byte order) at `value`; "?" for a type that
// is not a number.
std::string numberText(const std::byte* value, std::uint32_t valueType);

// Two lower-case hex digits per byte, no separators ("00ff1a"); empty for no bytes.
std::string hexText(std::span<const std::byte> bytes);

// `utf8` in double quotes with backslash escapes for quotes, backslashes and control
// characters, so that a table cell stays on its line.
std::string quotedText(std::string_view utf8);

}  // namespace mf4tool
