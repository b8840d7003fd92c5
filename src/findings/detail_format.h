// Detail texts of findings, built from the fixed format of each finding number.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace tarvik {

// One value for a detail format: a text for %s, a 32-bit integer for %d, a 64-bit integer
// for %I64X and %I64d.
using DetailArg = std::variant<std::u16string_view, std::int32_t, std::int64_t, std::uint64_t>;

// printf-style formatting for exactly the conversions the detail formats use: %s, %d,
// %I64X (upper-case hexadecimal of the 64-bit value), %I64d (signed decimal) and %%. A value
// of the wrong kind is converted (a number for %s prints in decimal, a text for a number
// prints 0); a missing value prints nothing. Never reads beyond `args`.
std::u16string formatText(std::u16string_view format, std::initializer_list<DetailArg> args);

// The detail format of a finding number (for example 130: "File Version: %d, Tool Version: %d.");
// empty for numbers without one.
std::u16string_view detailFormat(std::uint32_t findingNumber);

// formatText with the detail format of `findingNumber`.
std::u16string formatDetail(std::uint32_t findingNumber, std::initializer_list<DetailArg> args);

}  // namespace tarvik
