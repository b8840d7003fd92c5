// Numbers as text: the shortest form that reads back to the same double.
#pragma once

#include <string>

namespace mf4tool {

// Shortest round-trip form of `value` ("0.1", "1e+20", "-0"); "nan", "inf" or "-inf" for the
// values that have no number form.
std::string shortestText(double value);

}  // namespace mf4tool
