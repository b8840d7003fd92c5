#include "platform/md5.h"

#include <openssl/evp.h>

namespace tarvik::platform {

std::optional<std::array<std::uint8_t, 16>> md5Of(const void* data, std::size_t size) {
    std::array<std::uint8_t, 16> digest{};
    unsigned int length = 0;
    static const unsigned char kNothing = 0;
    if (EVP_Digest(data != nullptr ? data : &kNothing, size, digest.data(), &length, EVP_md5(), nullptr) != 1 ||
        length != digest.size())
        return std::nullopt;
    return digest;
}

}  // namespace tarvik::platform
