#include "xml_snippet.h"

#include <array>
#include <charconv>
#include <cstdint>

namespace mf4tool {

namespace {

void appendUtf8(std::string& out, std::uint32_t codePoint) {
    if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) codePoint = 0xFFFD;
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// Appends what the reference `name` (between '&' and ';') stands for; false if unknown.
bool appendReference(std::string& out, std::string_view name) {
    struct Entity {
        std::string_view name;
        char character;
    };
    static constexpr std::array<Entity, 5> kEntities{
        {{"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}}};
    for (const Entity& entity : kEntities) {
        if (name == entity.name) {
            out += entity.character;
            return true;
        }
    }
    if (name.size() < 2 || name[0] != '#') return false;
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    std::uint32_t codePoint = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), codePoint, hex ? 16 : 10);
    if (error != std::errc{} || end != digits.data() + digits.size()) return false;
    appendUtf8(out, codePoint);
    return true;
}

std::string resolveReferences(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t semicolon = text[i] == '&' ? text.find(';', i) : std::string_view::npos;
        if (semicolon != std::string_view::npos &&
            appendReference(out, text.substr(i + 1, semicolon - i - 1))) {
            i = semicolon + 1;
        } else {
            out += text[i++];
        }
    }
    return out;
}

// Position just after the start tag of `element`, or npos.
std::size_t contentStart(std::string_view xml, std::string_view element) {
    const std::string opening = "<" + std::string(element);
    for (std::size_t at = xml.find(opening); at != std::string_view::npos;
         at = xml.find(opening, at + 1)) {
        const std::size_t after = at + opening.size();
        if (after >= xml.size()) return std::string_view::npos;
        const char next = xml[after];
        // "<TX>" or "<TX attr=...>", but not "<TXfoo>"; an empty "<TX/>" has no text.
        if (next != '>' && next != ' ' && next != '\t' && next != '\r' && next != '\n' &&
            next != '/')
            continue;
        const std::size_t close = xml.find('>', after);
        if (close == std::string_view::npos || xml[close - 1] == '/') return std::string_view::npos;
        return close + 1;
    }
    return std::string_view::npos;
}

}  // namespace

std::string elementText(std::string_view xml, std::string_view element) {
    const std::size_t start = contentStart(xml, element);
    if (start == std::string_view::npos) return {};
    const std::size_t end = xml.find("</" + std::string(element), start);
    if (end == std::string_view::npos) return {};
    std::string_view text = xml.substr(start, end - start);
    // A CDATA section holds its text literally.
    constexpr std::string_view kCdataOpen = "<![CDATA[";
    if (text.starts_with(kCdataOpen) && text.ends_with("]]>"))
        return std::string(text.substr(kCdataOpen.size(), text.size() - kCdataOpen.size() - 3));
    return resolveReferences(text);
}

}  // namespace mf4tool
