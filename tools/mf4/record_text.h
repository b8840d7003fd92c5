// The values of a read buffer as text, one element or one record's value at a time.
#pragma once

#include <cstdint>
#include <string>

#include "value_buffer.h"

namespace mf4tool {

// Element `element` of record `record` as plain text (strings unquoted).
std::string elementText(const ValueBuffer& buffer, std::uint64_t record, std::uint64_t element);

// Record `record`'s value for a table: one element, or "[a b c]" for an array; strings quoted.
std::string recordText(const ValueBuffer& buffer, std::uint64_t record);

}  // namespace mf4tool
