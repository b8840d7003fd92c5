#include "host_text.h"

#include "platform/text.h"

namespace mf4tool {

// The tool shares the library's converter source rather than keeping a second copy of it.
std::u16string toLibraryText(std::string_view utf8) { return tarvik::platform::utf8ToUtf16(utf8); }

std::string toTerminalText(const MF4Char* text) {
    if (text == nullptr) return {};
    return tarvik::platform::utf16ToUtf8({text, tarvik::platform::textLength(text)});
}

std::filesystem::path systemPath(std::string_view utf8) { return std::u8string(utf8.begin(), utf8.end()); }

std::string pathText(const std::filesystem::path& path) {
    const std::u8string utf8 = path.u8string();
    return {utf8.begin(), utf8.end()};
}

std::string programIdText(const MF4Content& content) {
    const std::string_view bytes(content.programId, sizeof content.programId);
    const std::string_view id = bytes.substr(0, bytes.find('\0'));
    return tarvik::platform::utf16ToUtf8(tarvik::platform::latin1ToUtf16(id));
}

}  // namespace mf4tool
