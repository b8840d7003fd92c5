#include "number_text.h"

#include <array>
#include <charconv>

namespace mf4tool {

std::string shortestText(double value) {
    // 32 characters hold every shortest double form (at most 24 characters).
    std::array<char, 32> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    if (error != std::errc{}) return "?";
    return std::string(buffer.data(), end);
}

}  // namespace mf4tool
