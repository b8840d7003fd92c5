// Numbers as text: the shortest form that reads back to the same double.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mf4tool {

// Shortest round-trip form of `value` ("0.1", "1e+20", "-0"); "nan", "inf" or "-inf" for the
// values that have no number form.
std::string shortestText(double value);

// The number `text` spells in full (decimal or exponent form, no sign "+", no blanks), or
// nothing when it spells none, or only "nan" or an endless one: options that take a time or
// a width mean a place on the axis.
std::optional<double> finiteNumber(std::string_view text);

}  // namespace mf4tool
