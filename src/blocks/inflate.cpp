#include "blocks/inflate.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <new>

namespace tarvik {

namespace {

constexpr std::uint64_t kMaxInflateRatio = 1100;
constexpr std::uint64_t kInflateSlack = 64;
// The output starts at a few times the packed size (at least this much, at most the declared
// length) and doubles whenever the stream fills it.
constexpr std::uint64_t kFirstOutput = 1 << 20;
constexpr std::uint64_t kFirstRatio = 8;

}  // namespace

bool inflatedLengthPlausible(std::uint64_t packedLength, std::uint64_t length) {
    if (length > UINT32_MAX || packedLength > UINT32_MAX) return false;
    return length <= packedLength * kMaxInflateRatio + kInflateSlack;
}

std::optional<std::vector<std::uint8_t>> inflateExactly(const std::uint8_t* packed, std::size_t packedLength,
                                                        std::uint64_t length) {
    if (!inflatedLengthPlausible(packedLength, length)) return std::nullopt;
    z_stream inflater{};
    if (inflateInit(&inflater) != Z_OK) return std::nullopt;
    std::optional<std::vector<std::uint8_t>> result;
    try {
        std::vector<std::uint8_t> decoded(
            static_cast<std::size_t>(std::min(length, std::max(kFirstOutput, kFirstRatio * packedLength))));
        // zlib refuses a null output pointer even for an empty output; an empty result still
        // has to prove that its stream is empty. One byte more than declared shows a stream
        // that holds too much.
        std::uint8_t overflow = 0;
        inflater.next_in = const_cast<Bytef*>(packed);
        inflater.avail_in = static_cast<uInt>(packedLength);
        int status = Z_OK;
        while (status == Z_OK) {
            const std::uint64_t produced = inflater.total_out;
            if (produced == decoded.size() && produced < length)
                decoded.resize(static_cast<std::size_t>(std::min(length, 2 * produced)));
            if (produced < decoded.size()) {
                inflater.next_out = decoded.data() + produced;
                inflater.avail_out = static_cast<uInt>(decoded.size() - produced);
            } else {
                inflater.next_out = &overflow;
                inflater.avail_out = 1;
            }
            status = inflate(&inflater, Z_NO_FLUSH);
            if (status == Z_OK && inflater.total_out == produced && inflater.avail_in == 0) break;  // ended early
        }
        if (status == Z_STREAM_END && inflater.total_out == length) result = std::move(decoded);
    } catch (const std::bad_alloc&) {
        result.reset();
    }
    inflateEnd(&inflater);
    return result;
}

}  // namespace tarvik
