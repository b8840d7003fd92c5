#include "conversion_rule.h"

#include "host_text.h"
#include "number_text.h"
#include "one_line.h"
#include "type_names.h"

namespace mf4tool {

namespace {

// "a * X^2 + b * X + c"
std::string quadratic(const double* p) {
    return shortestText(p[0]) + " * X^2 + " + shortestText(p[1]) + " * X + " + shortestText(p[2]);
}

std::string entries(std::uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + ' ' + (count == 1 ? one : many);
}

std::string tableRule(const MF4Conversion& conversion) {
    const std::uint64_t n = conversion.entryCount;
    std::string rule = "table of " + entries(n, "key", "keys");
    if (n > 0 && conversion.parameters.pairs != nullptr)
        rule += " from " + shortestText(conversion.parameters.pairs[0].key) + " to " +
                shortestText(conversion.parameters.pairs[n - 1].key);
    return rule + (conversion.conversionType == 4 ? ", interpolated" : ", nearest key");
}

}  // namespace

std::string conversionRule(const MF4Conversion& conversion) {
    const auto& p = conversion.parameters;
    switch (conversion.conversionType) {
    case 0: return "identity";
    case 1: return "linear " + shortestText(p.linear[1]) + " * X + " + shortestText(p.linear[0]);
    case 2: return "rational (" + quadratic(p.rational) + ") / (" + quadratic(p.rational + 3) + ')';
    case 3: return "algebraic " + flattened(toTerminalText(conversion.formula));
    case 4:
    case 5: return tableRule(conversion);
    case 7: return "value to text, " + entries(conversion.entryCount, "entry", "entries");
    case 8: return "range to text, " + entries(conversion.entryCount, "range", "ranges");
    default: return conversionTypeName(conversion.conversionType);
    }
}

}  // namespace mf4tool
