// Short names for the numeric codes of the content tree, for the text report.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mf4tool {

// Every function answers "<kind> N" (e.g. "type 99") for a code it does not know.

std::string valueTypeName(std::uint32_t vartype);          // "u16", "f64", "string", "bytes"
std::string propertyTypeName(std::uint32_t type);          // "string", "integer", "date"
std::string conversionTypeName(std::uint32_t type);        // "linear", "value to text"
std::string channelTypeName(std::uint32_t type);           // "fixed length", "VLSD"
std::string syncTypeName(std::uint32_t type);              // "time", "angle"
std::string stringEncodingName(std::uint32_t encoding);    // "UTF-8"
std::string sourceTypeName(std::uint32_t type);            // "ECU", "bus"
std::string busTypeName(std::uint32_t type);               // "CAN", "FlexRay"
std::string eventTypeName(std::uint32_t type);             // "marker", "trigger"
std::string eventRangeName(std::uint32_t rangeType);       // "point", "range begin"
std::string eventCauseName(std::uint32_t cause);           // "user", "tool"
std::string formatVersionText(std::uint16_t version);      // 410 -> "4.10"

// The code of a property type named as in XML comments ("integer" 20, "dateTime" 7, ...), for
// the types a host can set; nothing for any other name.
std::optional<std::uint32_t> propertyTypeCode(std::string_view name);

}  // namespace mf4tool
