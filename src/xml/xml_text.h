// Small text rules of XML comments: escaping texts that go into a comment, and reading the
// numbers comments carry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvik {

// Replaces & < > ' and " by their entity references.
std::u16string escapeXml(std::u16string_view text);

// A number as comments write them: "0x"/"0X" followed by hexadecimal digits (more than two
// characters in all) is an integer; anything else a decimal floating-point text, leading blanks
// and a sign allowed. True, with `value` set, when at least one character was read; `value` is
// left alone otherwise. Never depends on the process's locale.
bool parseXmlNumber(std::u16string_view text, double& value);

// An integer as comments write them: base 16 after "0x"/"0X" (texts longer than two
// characters), else base 10; leading blanks and a sign allowed; values beyond 64 bits
// saturate. True, with `value` set, when digits were read.
bool parseXmlInteger(std::u16string_view text, std::int64_t& value);

// True when `text` is a value of the XML Schema built-in type `schemaType` ("integer",
// "float", "dateTime", ...). A type the schema language does not have accepts nothing.
bool isSchemaValue(std::u16string_view schemaType, std::u16string_view text);

// Decimal text of an integer.
std::u16string formatXmlInteger(std::int64_t value);

}  // namespace tarvik
