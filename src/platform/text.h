// Text conversion between the encodings the library meets: UTF-16 inside and at the
// interface, UTF-8 in TX/MD blocks and file paths, Latin-1 in single-byte string channels.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvik::platform {

// Longest text the library measures or copies, in code units.
inline constexpr std::size_t kMaxTextLength = 0x7FFFFFFF;

// UTF-8 to UTF-16. Every ill-formed sequence (bad lead or continuation byte, overlong form,
// surrogate code point, value above U+10FFFF, truncated sequence) becomes one U+FFFD.
// Embedded zero bytes are kept as U+0000.
std::u16string utf8ToUtf16(std::string_view utf8);

// UTF-16 to UTF-8. A lone surrogate becomes U+FFFD; pairs become one 4-byte sequence.
std::string utf16ToUtf8(std::u16string_view utf16);

// ISO-8859-1 to UTF-16 (each byte is its own code point).
std::u16string latin1ToUtf16(std::string_view latin1);

// Length of a NUL-terminated UTF-16 text, at most kMaxTextLength; 0 for null.
std::size_t textLength(const char16_t* text);

// A NUL-terminated UTF-16 text (as long as textLength measures it) as a view; empty for null.
inline std::u16string_view textView(const char16_t* text) { return {text, textLength(text)}; }

// A copy of `text` with a terminating zero, allocated with malloc so that the host can be
// handed it and the library's release functions can free it. Null when malloc fails.
char16_t* newHostText(std::u16string_view text);

// As newHostText for a NUL-terminated source; null for a null source.
char16_t* newHostText(const char16_t* text);

}  // namespace tarvik::platform
