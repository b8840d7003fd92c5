#include "blocks/inflate.h"

#include <libdeflate.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <new>

namespace tarvik {

namespace {

constexpr std::uint64_t kMaxInflateRatio = 1100;
constexpr std::uint64_t kInflateSlack = 64;
constexpr std::uint64_t kFirstOutput = 1 << 20;
constexpr std::uint64_t kFirstRatio = 8;
constexpr std::uint64_t kGrowth = 4;

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* inflater) const { libdeflate_free_decompressor(inflater); }
};

}  // namespace

bool inflatedLengthPlausible(std::uint64_t packedLength, std::uint64_t length) {
    if (length > UINT32_MAX || packedLength > UINT32_MAX) return false;
    return length <= packedLength * kMaxInflateRatio + kInflateSlack;
}

std::optional<std::vector<std::uint8_t>> inflateExactly(const std::uint8_t* packed, std::size_t packedLength,
                                                        std::uint64_t length) {
    if (!inflatedLengthPlausible(packedLength, length)) return std::nullopt;
    std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> inflater(libdeflate_alloc_decompressor());
    if (!inflater) return std::nullopt;
    try {
        // The whole output is decoded in one go, into a buffer that starts at a few times the
        // packed size and grows fourfold only when the stream fills it: a damaged length never
        // takes more memory than the stream proves it needs. A stream that fills a buffer of
        // the declared length holds more than declared.
        std::vector<std::uint8_t> decoded;
        std::uint64_t capacity = std::min(length, std::max(kFirstOutput, kFirstRatio * packedLength));
        for (;;) {
            decoded.resize(static_cast<std::size_t>(std::max<std::uint64_t>(capacity, 1)));
            std::size_t produced = 0;
            const libdeflate_result result = libdeflate_zlib_decompress(inflater.get(), packed, packedLength,
                                                                        decoded.data(), static_cast<std::size_t>(capacity),
                                                                        &produced);
            if (result == LIBDEFLATE_SUCCESS && produced == length) {
                decoded.resize(static_cast<std::size_t>(length));
                return decoded;
            }
            if (result != LIBDEFLATE_INSUFFICIENT_SPACE || capacity >= length) return std::nullopt;
            capacity = std::min(length, kGrowth * capacity);
        }
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

}  // namespace tarvik
