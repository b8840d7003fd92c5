// The MD5 checksum of attachment data, from the system's cryptographic service.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace tarvik::platform {

// The 16-byte MD5 of `size` bytes at `data`; nothing when the service fails.
std::optional<std::array<std::uint8_t, 16>> md5Of(const void* data, std::size_t size);

}  // namespace tarvik::platform
