// A conversion's rule as one line for `mf4 info`: "linear 0.1 * X + -40",
// "rational (1 * X^2 + 0 * X + 4) / (0 * X^2 + 0 * X + 1)", "algebraic 2 * sin(X)",
// "table of 12 keys from -3 to 13, interpolated", "value to text, 5 entries".
#pragma once

#include <string>

#include "TarvikMF4Access.h"

namespace mf4tool {

std::string conversionRule(const MF4Conversion& conversion);

}  // namespace mf4tool
