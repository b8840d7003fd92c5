#include "number_text.h"

#include <array>
#include <charconv>
#include <cmath>

namespace mf4tool {

std::string shortestText(double value) {
    // 32 characters hold every shortest double form (at most 24 characters).
    std::array<char, 32> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    if (error != std::errc{}) return "?";
    return std::string(buffer.data(), end);
}

std::optional<double> finiteNumber(std::string_view text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc{} || stop != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace mf4tool
