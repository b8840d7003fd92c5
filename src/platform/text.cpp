#include "platform/text.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace tarvik::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }
bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Length of the sequence a lead byte announces, 0 for bytes that can never start one
// (continuation bytes and F8..FF). C0/C1 and F5..F7 announce a length here although every
// sequence they start is ill-formed: that way the whole sequence, not each of its bytes,
// becomes a single replacement character.
std::size_t announcedLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead < 0xC0) return 0;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    if (lead < 0xF8) return 4;
    return 0;
}

// Smallest code point that needs a sequence of the given length; anything below is overlong.
char32_t smallestForLength(std::size_t length) {
    switch (length) {
        case 2: return 0x80;
        case 3: return 0x800;
        default: return 0x10000;
    }
}

// Decodes one sequence starting at utf8[pos], advances pos past it and returns the code
// point, or U+FFFD for an ill-formed sequence. A truncated sequence consumes only the bytes
// that belong to it, so the byte that interrupted it is decoded on its own.
char32_t decodeOne(std::string_view utf8, std::size_t& pos) {
    auto lead = static_cast<unsigned char>(utf8[pos++]);
    std::size_t length = announcedLength(lead);
    if (length == 1) return lead;
    if (length == 0) return kReplacement;

    char32_t value = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if (pos >= utf8.size() || !isContinuation(static_cast<unsigned char>(utf8[pos])))
            return kReplacement;
        value = (value << 6) | (static_cast<unsigned char>(utf8[pos++]) & 0x3F);
    }
    bool overlong = value < smallestForLength(length);
    bool surrogate = value >= 0xD800 && value <= 0xDFFF;
    if (overlong || surrogate || value > 0x10FFFF) return kReplacement;
    return value;
}

void appendUtf16(std::u16string& out, char32_t codePoint) {
    if (codePoint < 0x10000) {
        out.push_back(static_cast<char16_t>(codePoint));
        return;
    }
    codePoint -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
}

void appendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

}  // namespace

std::u16string utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    // A UTF-8 text never needs more UTF-16 units than it has bytes.
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) appendUtf16(out, decodeOne(utf8, pos));
    return out;
}

std::string utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t unit = utf16[i];
        if (isHighSurrogate(unit) && i + 1 < utf16.size() && isLowSurrogate(utf16[i + 1])) {
            char32_t low = utf16[++i];
            appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            appendUtf8(out, kReplacement);
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

std::u16string latin1ToUtf16(std::string_view latin1) {
    std::u16string out(latin1.size(), u'\0');
    for (std::size_t i = 0; i < latin1.size(); ++i)
        out[i] = static_cast<unsigned char>(latin1[i]);
    return out;
}

std::size_t textLength(const char16_t* text) {
    if (text == nullptr) return 0;
    std::size_t length = 0;
    while (length < kMaxTextLength && text[length] != u'\0') ++length;
    return length;
}

char16_t* newHostText(std::u16string_view text) {
    if (text.size() >= SIZE_MAX / sizeof(char16_t)) return nullptr;
    auto* copy = static_cast<char16_t*>(std::malloc((text.size() + 1) * sizeof(char16_t)));
    if (copy == nullptr) return nullptr;
    if (!text.empty()) std::memcpy(copy, text.data(), text.size() * sizeof(char16_t));
    copy[text.size()] = u'\0';
    return copy;
}

char16_t* newHostText(const char16_t* text) {
    if (text == nullptr) return nullptr;
    return newHostText(std::u16string_view(text, textLength(text)));
}

}  // namespace tarvik::platform
