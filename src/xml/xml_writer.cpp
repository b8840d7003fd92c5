#include "xml/xml_writer.h"

#include <charconv>
#include <cmath>

namespace tarvik {

namespace {

constexpr int kFixedDecimals = 19;

// to_chars never looks at the locale, so a host that switched the C or C++ locale to a decimal
// comma still gets XML numbers with a point.
std::u16string toText(double value, std::chars_format format, int precision) {
    char buffer[512];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
    if (result.ec != std::errc{}) return u"0";
    return std::u16string(buffer, result.ptr);
}

}  // namespace

std::u16string formatXmlNumber(double value) {
    const double magnitude = std::fabs(value);
    if (magnitude > 0 && magnitude <= 0.0001) {
        const int extra = static_cast<int>(-std::log10(magnitude));
        return toText(value, std::chars_format::fixed, extra + kFixedDecimals);
    }
    std::u16string general = toText(value, std::chars_format::general, 6);
    const bool exponent = general.find(u'e') != std::u16string::npos;
    if ((magnitude > 1000000 || exponent) && std::isfinite(value))
        return toText(value, std::chars_format::fixed, kFixedDecimals);
    return general;
}

void ZtCXMLWriter::startElement(std::u16string_view name, bool closeNow) {
    text_ += u'<';
    text_ += name;
    if (closeNow) text_ += u'>';
    ++depth_;
}

void ZtCXMLWriter::attribute(std::u16string_view name, std::u16string_view value) {
    text_ += u' ';
    text_ += name;
    text_ += u"=\"";
    text_ += value;
    text_ += u'"';
}

void ZtCXMLWriter::closeStartTag() { text_ += u'>'; }

void ZtCXMLWriter::endElement(std::u16string_view name) {
    text_ += u"</";
    text_ += name;
    text_ += u'>';
    --depth_;
}

void ZtCXMLWriter::writeText(std::u16string_view text) { text_ += text; }

void ZtCXMLWriter::writeNumber(double value) { text_ += formatXmlNumber(value); }

}  // namespace tarvik
