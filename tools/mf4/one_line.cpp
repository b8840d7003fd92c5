#include "one_line.h"

namespace mf4tool {

namespace {

bool isBreakOrControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

bool isContinuationByte(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

std::string flattened(std::string_view utf8) {
    std::string line;
    line.reserve(utf8.size());
    bool inBreak = false;
    for (const char ch : utf8) {
        const bool isBreak = isBreakOrControl(static_cast<unsigned char>(ch));
        if (!isBreak || !inBreak) line += isBreak ? ' ' : ch;
        inBreak = isBreak;
    }
    const std::size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return line.substr(first, line.find_last_not_of(' ') - first + 1);
}

std::string shortened(std::string_view utf8, std::size_t maxCharacters) {
    std::string line = flattened(utf8);
    std::size_t characters = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (isContinuationByte(static_cast<unsigned char>(line[i]))) continue;
        if (characters == maxCharacters) {
            line.resize(i);
            // Do not leave a space dangling before the ellipsis.
            while (!line.empty() && line.back() == ' ') line.pop_back();
            return line + "...";
        }
        ++characters;
    }
    return line;
}

}  // namespace mf4tool
