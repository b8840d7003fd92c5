#include "type_names.h"

#include <array>
#include <cstdio>
#include <string_view>
#include <utility>

namespace mf4tool {

namespace {

// Name of `code` in a table indexed by code, where an empty entry marks a gap.
template <std::size_t N>
std::string nameOf(const std::array<std::string_view, N>& names, std::uint32_t code,
                   std::string_view kind) {
    if (code < N && !names[code].empty()) return std::string(names[code]);
    return std::string(kind) + ' ' + std::to_string(code);
}

}  // namespace

std::string valueTypeName(std::uint32_t vartype) {
    switch (vartype) {
        case 0: return "none";
        case 2: return "i16";
        case 3: return "i32";
        case 4: return "f32";
        case 5: return "f64";
        case 7: return "date";
        case 11: return "bool";
        case 14: return "decimal";
        case 16: return "i8";
        case 17: return "u8";
        case 18: return "u16";
        case 19: return "u32";
        case 20: return "i64";
        case 21: return "u64";
        case 30: return "string";
        case 31: return "string16";
        case 36: return "bytes";
        case 64: return "time";
        default: return "type " + std::to_string(vartype);
    }
}

// Properties carry the type names of the XML comment; the tree keeps them as VARTYPE numbers.
std::string propertyTypeName(std::uint32_t type) {
    switch (type) {
        case 5: return "float";
        case 7: return "date";
        case 11: return "boolean";
        case 14: return "decimal";
        case 20: return "integer";
        case 31: return "string";
        case 64: return "time";
        default: return "type " + std::to_string(type);
    }
}

std::optional<std::uint32_t> propertyTypeCode(std::string_view name) {
    // "date" is left out: the tree keeps date and dateTime as the same code, 7, so a host that
    // sets it cannot say which of the two it means; dateTime is the one with a time of day.
    static constexpr std::array<std::pair<std::string_view, std::uint32_t>, 7> kCodes{{
        {"string", 31}, {"integer", 20}, {"float", 5}, {"decimal", 14},
        {"boolean", 11}, {"dateTime", 7}, {"time", 64}}};
    for (const auto& [known, code] : kCodes)
        if (known == name) return code;
    return std::nullopt;
}

std::string conversionTypeName(std::uint32_t type) {
    static constexpr std::array<std::string_view, 10> kNames{
        "identity", "linear", "rational", "algebraic", "table interpolated",
        "table",    "",       "value to text", "range to text", "unsupported"};
    return nameOf(kNames, type, "conversion type");
}

std::string channelTypeName(std::uint32_t type) {
    static constexpr std::array<std::string_view, 7> kNames{
        "fixed length", "VLSD",        "master",      "virtual master",
        "sync",         "max length", "virtual data"};
    return nameOf(kNames, type, "channel type");
}

std::string syncTypeName(std::uint32_t type) {
    static constexpr std::array<std::string_view, 5> kNames{"none", "time", "angle", "distance",
                                                             "index"};
    return nameOf(kNames, type, "sync type");
}

std::string stringEncodingName(std::uint32_t encoding) {
    static constexpr std::array<std::string_view, 4> kNames{"none", "ISO-8859-1", "UTF-8",
                                                             "UTF-16"};
    return nameOf(kNames, encoding, "encoding");
}

std::string sourceTypeName(std::uint32_t type) {
    static constexpr std::array<std::string_view, 6> kNames{"other", "ECU",  "bus",
                                                             "I/O",   "tool", "user"};
    return nameOf(kNames, type, "source type");
}

std::string busTypeName(std::uint32_t type) {
    static constexpr std::array<std::string_view, 9> kNames{
        "none", "other", "CAN", "LIN", "MOST", "FlexRay", "K-Line", "Ethernet", "USB"};
    return nameOf(kNames, type, "bus type");
}

std::string eventTypeName(std::uint32_t type) {
    static constexpr std::array<std::string_view, 7> kNames{
        "recording",          "recording interrupt", "acquisition interrupt",
        "start trigger",      "stop trigger",        "trigger",
        "marker"};
    return nameOf(kNames, type, "event type");
}

std::string eventRangeName(std::uint32_t rangeType) {
    static constexpr std::array<std::string_view, 3> kNames{"point", "range begin", "range end"};
    return nameOf(kNames, rangeType, "range type");
}

std::string eventCauseName(std::uint32_t cause) {
    static constexpr std::array<std::string_view, 5> kNames{"other", "error", "tool", "script",
                                                             "user"};
    return nameOf(kNames, cause, "cause");
}

std::string formatVersionText(std::uint16_t version) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%02u", static_cast<unsigned>(version / 100),
                  static_cast<unsigned>(version % 100));
    return text;
}

}  // namespace mf4tool
