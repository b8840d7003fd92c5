// Writes XML text element by element: no declaration, no indentation, texts as they are given
// (callers escape what they take from content records).
#pragma once

#include <string>
#include <string_view>

namespace tarvik {

class ZtCXMLWriter {
public:
    // "<name", and ">" when `closeNow`; otherwise attributes follow and closeStartTag ends it.
    void startElement(std::u16string_view name, bool closeNow);
    void attribute(std::u16string_view name, std::u16string_view value);
    void closeStartTag();
    void endElement(std::u16string_view name);
    void writeText(std::u16string_view text);
    // Numbers as the MDF tools write them: fixed notation with 19 decimals beyond 1000000 and
    // with (integer part of -log10|x|) + 19 decimals for 0 < |x| <= 0.0001, otherwise six
    // significant digits in the shortest general form ("1.5", "0"). Values that round up to
    // 1000000 in six digits are written like the larger ones, since an exponent ("1e+06") is
    // not a valid decimal in an XML comment.
    void writeNumber(double value);

    const std::u16string& text() const { return text_; }
    int depth() const { return depth_; }

private:
    std::u16string text_;
    int depth_ = 0;
};

// The text writeNumber produces for `value`.
std::u16string formatXmlNumber(double value);

}  // namespace tarvik
