#include "platform/md5.h"

#include <algorithm>

#if defined(_WIN32)
#include <windows.h>
#include <bcrypt.h>
#else
#include <openssl/evp.h>
#endif

namespace tarvik::platform {

#if defined(_WIN32)

// Windows' own cryptographic service (CNG), so the DLL needs no cryptographic library of its own.
std::optional<std::array<std::uint8_t, 16>> md5Of(const void* data, std::size_t size) {
    std::array<std::uint8_t, 16> digest{};
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0))) return std::nullopt;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool done = BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
    // The data goes in pieces that a ULONG can count.
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (std::size_t at = 0; done && at < size;) {
        const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(size - at, 0x40000000));
        done = BCRYPT_SUCCESS(BCryptHashData(hash, const_cast<PUCHAR>(bytes + at), piece, 0));
        at += piece;
    }
    done = done && BCRYPT_SUCCESS(BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
    if (hash != nullptr) BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    if (!done) return std::nullopt;
    return digest;
}

#else

std::optional<std::array<std::uint8_t, 16>> md5Of(const void* data, std::size_t size) {
    std::array<std::uint8_t, 16> digest{};
    unsigned int length = 0;
    static const unsigned char kNothing = 0;
    if (EVP_Digest(data != nullptr ? data : &kNothing, size, digest.data(), &length, EVP_md5(), nullptr) != 1 ||
        length != digest.size())
        return std::nullopt;
    return digest;
}

#endif

}  // namespace tarvik::platform
