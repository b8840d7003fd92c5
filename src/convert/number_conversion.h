// Raw values to float64: one loop per value kind and rule, the rule chosen once per call.
#pragma once

#include <cstdint>

#include "convert/conversion_plan.h"
#include "convert/rule_evaluation.h"

namespace tarvik::convert {

// Converts `count` values of VARTYPE `valueType` (a numeric kind) at `raw` into `physical`
// with the plan's top rule; what the values met goes into `remarks`.
void convertNumbers(const Rule& rule, std::uint32_t valueType, const void* raw, std::uint64_t count,
                    double* physical, Remarks& remarks);

}  // namespace tarvik::convert
