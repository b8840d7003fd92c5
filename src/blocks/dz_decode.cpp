// Decoding of DZ blocks: the zlib stream is inflated in one call into a buffer of exactly the
// declared length, and a transposition (zip type 1) is undone afterwards.
#include <zlib.h>

#include <climits>
#include <cstdint>
#include <new>

#include "blocks/data_blocks.h"
#include "blocks/stream.h"

namespace tarvik {

using platform::kOk;

namespace {

constexpr std::uint8_t kZipDeflate = 0;
constexpr std::uint8_t kZipTransposeDeflate = 1;

// Deflate expands nothing by more than about 1032 to 1; a header that claims more than this
// is damaged, and is refused before its length is allocated.
constexpr std::uint64_t kMaxInflateRatio = 1100;
constexpr std::uint64_t kInflateSlack = 64;

bool plausibleHeader(const DzRecord& record) {
    if (record.dz_zip_type != kZipDeflate && record.dz_zip_type != kZipTransposeDeflate)
        return false;
    if (record.dz_zip_type == kZipTransposeDeflate && record.dz_zip_parameter == 0) return false;
    // zlib counts input and output in 32 bits, and one call must hold the whole block.
    if (record.dz_org_data_length > UINT32_MAX || record.dz_data_length > UINT32_MAX) return false;
    return record.dz_org_data_length <= record.dz_data_length * kMaxInflateRatio + kInflateSlack;
}

// The compressed bytes of the block, or nothing when they do not lie inside the file.
std::optional<std::vector<std::uint8_t>> readCompressed(ZtCMF4Stream& stream,
                                                        const DzRecord& record) {
    const std::uint64_t size = stream.size();
    const std::uint64_t start = static_cast<std::uint64_t>(record.position) + DzRecord::kDataStart;
    if (record.position < 0 || size == ZtCMF4Stream::kNoPosition || start > size ||
        record.dz_data_length > size - start)
        return std::nullopt;
    std::vector<std::uint8_t> compressed(static_cast<std::size_t>(record.dz_data_length));
    if (stream.seekRead(start) != kOk ||
        stream.readBytes(compressed.data(), compressed.size()) != kOk)
        return std::nullopt;
    return compressed;
}

// Inflates `compressed` into exactly `length` bytes; nothing when the stream is broken, holds
// more or ends early.
std::optional<std::vector<std::uint8_t>> inflateExactly(std::vector<std::uint8_t>& compressed,
                                                        std::uint64_t length) {
    std::vector<std::uint8_t> decoded(static_cast<std::size_t>(length));
    // zlib refuses a null output pointer even for an empty output; an empty block still has to
    // prove that its stream is empty.
    std::uint8_t none = 0;
    z_stream inflater{};
    if (inflateInit(&inflater) != Z_OK) return std::nullopt;
    inflater.next_in = compressed.data();
    inflater.avail_in = static_cast<uInt>(compressed.size());
    inflater.next_out = decoded.empty() ? &none : decoded.data();
    inflater.avail_out = static_cast<uInt>(decoded.size());
    const int status = inflate(&inflater, Z_FINISH);
    const uLong produced = inflater.total_out;
    inflateEnd(&inflater);
    if (status != Z_STREAM_END || produced != length) return std::nullopt;
    return decoded;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> decodeDz(ZtCMF4Stream& stream, const DzRecord& record) {
    if (!plausibleHeader(record)) return std::nullopt;
    const std::uint64_t callerPosition = stream.position();
    std::optional<std::vector<std::uint8_t>> decoded;
    try {
        if (std::optional<std::vector<std::uint8_t>> compressed = readCompressed(stream, record))
            decoded = inflateExactly(*compressed, record.dz_org_data_length);
        if (decoded && record.dz_zip_type == kZipTransposeDeflate)
            decoded = untranspose(decoded->data(), decoded->size(), record.dz_zip_parameter);
    } catch (const std::bad_alloc&) {
        // Up to 4 GiB may be declared; a block the memory cannot hold counts as undecodable.
        decoded.reset();
    }
    stream.seekRead(callerPosition);
    return decoded;
}

std::vector<std::uint8_t> untranspose(const std::uint8_t* bytes, std::size_t size,
                                      std::uint32_t columns) {
    std::vector<std::uint8_t> ordered(bytes, bytes + size);
    if (columns == 0) return ordered;
    const std::size_t rows = size / columns;
    // The input holds column after column; reading it in that order keeps the reads sequential.
    for (std::size_t c = 0; c < columns && rows > 0; ++c) {
        const std::uint8_t* column = bytes + c * rows;
        for (std::size_t r = 0; r < rows; ++r) ordered[r * columns + c] = column[r];
    }
    return ordered;
}

}  // namespace tarvik
