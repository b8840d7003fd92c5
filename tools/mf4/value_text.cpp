#include "value_text.h"

#include <array>
#include <charconv>
#include <cstring>

namespace mf4tool {

namespace {

template <typename T>
std::string typedText(const std::byte* value) {
    T number;
    std::memcpy(&number, value, sizeof number);
    // Shortest round-trip forms of doubles need at most 24 characters, integers 20.
    std::array<char, 32> text{};
    const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc{}) return "?";
    return std::string(text.data(), end);
}

}  // namespace

std::string numberText(const std::byte* value, std::uint32_t valueType) {
    switch (valueType) {
        case 2: return typedText<std::int16_t>(value);
        case 3: return typedText<std::int32_t>(value);
        case 4: return typedText<float>(value);
        case 5: return typedText<double>(value);
        case 16: return typedText<std::int8_t>(value);
        case 17: return typedText<std::uint8_t>(value);
        case 18: return typedText<std::uint16_t>(value);
        case 19: return typedText<std::uint32_t>(value);
        case 20: return typedText<std::int64_t>(value);
        case 21: return typedText<std::uint64_t>(value);
        default: return "?";
    }
}

std::string hexText(std::span<const std::byte> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const std::byte b : bytes) {
        const auto value = std::to_integer<unsigned>(b);
        text += kDigits[value >> 4];
        text += kDigits[value & 0x0F];
    }
    return text;
}

std::string quotedText(std::string_view utf8) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text = "\"";
    for (const char c : utf8) {
        const auto code = static_cast<unsigned char>(c);
        switch (c) {
            case '"': text += "\\\""; break;
            case '\\': text += "\\\\"; break;
            case '\n': text += "\\n"; break;
            case '\r': text += "\\r"; break;
            case '\t': text += "\\t"; break;
            default:
                if (code < 0x20 || code == 0x7F) {
                    text += "\\x";
                    text += kDigits[code >> 4];
                    text += kDigits[code & 0x0F];
                } else {
                    text += c;
                }
        }
    }
    return text + '"';
}

}  // namespace mf4tool
