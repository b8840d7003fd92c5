// Raw values to texts: the texts of text tables point into the tree, numbers are written into
// one buffer that the host releases with MF4FreeConvertedTexts.
#pragma once

#include <cstdint>
#include <string>

#include "convert/conversion_plan.h"
#include "convert/rule_evaluation.h"

// The buffer behind MF4ConvertedTexts: the characters of every number written, each followed
// by its terminating zero. It is complete before any pointer into it is handed out.
struct MF4ConvertedTexts {
    std::u16string characters;
};

namespace tarvik::convert {

// Fills texts[0..count) for `count` values of VARTYPE `valueType` at `raw` under `rule`; sets
// *buffer to the numbers' buffer, or null when no number was written.
void convertTexts(const Rule& rule, std::uint32_t valueType, const void* raw, std::uint64_t count,
                  const char16_t** texts, MF4ConvertedTexts** buffer, Remarks& remarks);

}  // namespace tarvik::convert
