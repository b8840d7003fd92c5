// The values of a read buffer as text, one element or one record's value at a time: raw, or the
// physical values a PhysicalTexts made of them.
#pragma once

#include <cstdint>
#include <string>

#include "value_buffer.h"

namespace mf4tool {

class PhysicalTexts;

// Element `element` of record `record` as plain text (strings unquoted); the physical value
// when `physical` converted the buffer.
std::string elementText(const ValueBuffer& buffer, std::uint64_t record, std::uint64_t element,
                        const PhysicalTexts* physical = nullptr);

// Record `record`'s value for a table: one element, or "[a b c]" for an array; strings and the
// texts of text conversions quoted.
std::string recordText(const ValueBuffer& buffer, std::uint64_t record,
                       const PhysicalTexts* physical = nullptr);

}  // namespace mf4tool
