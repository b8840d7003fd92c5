#include "xml/xml_text.h"

#include <libxml/xmlschemastypes.h>

#include <charconv>
#include <limits>

#include "platform/text.h"

namespace tarvik {

namespace {

bool isHexText(std::u16string_view text) {
    return text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X');
}

// The leading ASCII part of `text` (numbers are ASCII; anything else ends them).
std::string asciiPrefix(std::u16string_view text) {
    std::string ascii;
    for (char16_t c : text) {
        if (c == 0 || c > 0x7F) break;
        ascii.push_back(static_cast<char>(c));
    }
    return ascii;
}

std::string_view skipBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || (text.front() >= '\t' && text.front() <= '\r')))
        text.remove_prefix(1);
    return text;
}

// Digits in `base` after optional blanks and a sign (and for base 16 an optional "0x").
bool parseDigits(std::string_view text, int base, std::int64_t& value) {
    text = skipBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    std::uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (end == text.data()) return false;
    constexpr std::uint64_t kMax = std::numeric_limits<std::int64_t>::max();
    if (error == std::errc::result_out_of_range || magnitude > kMax + (negative ? 1 : 0)) {
        value = negative ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
        return true;
    }
    value = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    return true;
}

}  // namespace

std::u16string escapeXml(std::u16string_view text) {
    std::u16string escaped;
    escaped.reserve(text.size());
    for (char16_t c : text) {
        switch (c) {
        case u'&': escaped += u"&amp;"; break;
        case u'<': escaped += u"&lt;"; break;
        case u'>': escaped += u"&gt;"; break;
        case u'\'': escaped += u"&apos;"; break;
        case u'"': escaped += u"&quot;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

bool parseXmlNumber(std::u16string_view text, double& value) {
    const std::string ascii = asciiPrefix(text);
    if (isHexText(text)) {
        std::int64_t integer = 0;
        if (!parseDigits(ascii, 16, integer)) return false;
        value = static_cast<double>(integer);
        return true;
    }
    std::string_view digits = skipBlanks(ascii);
    const bool negative = !digits.empty() && digits.front() == '-';
    if (!digits.empty() && (digits.front() == '+' || negative)) digits.remove_prefix(1);
    double parsed = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), parsed);
    if (end == digits.data()) return false;
    (void)error;  // a value beyond the range of a double reads as 0
    value = negative ? -parsed : parsed;
    return true;
}

std::u16string formatXmlInteger(std::int64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::u16string(buffer, result.ptr);
}

bool parseXmlInteger(std::u16string_view text, std::int64_t& value) {
    return parseDigits(asciiPrefix(text), isHexText(text) ? 16 : 10, value);
}

bool isSchemaValue(std::u16string_view schemaType, std::u16string_view text) {
    const std::string type = platform::utf16ToUtf8(schemaType);
    xmlSchemaType* builtIn = xmlSchemaGetPredefinedType(reinterpret_cast<const xmlChar*>(type.c_str()),
                                                        reinterpret_cast<const xmlChar*>("http://www.w3.org/2001/XMLSchema"));
    if (builtIn == nullptr) return false;
    const std::string value = platform::utf16ToUtf8(text);
    return xmlSchemaValidatePredefinedType(builtIn, reinterpret_cast<const xmlChar*>(value.c_str()), nullptr) == 0;
}

}  // namespace tarvik
