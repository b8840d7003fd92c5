// Decoding of DZ blocks: the zlib stream is inflated to exactly the declared length, and a
// transposition (zip type 1) is undone afterwards.
#include <algorithm>
#include <cstdint>
#include <new>

#include "blocks/data_blocks.h"
#include "blocks/inflate.h"
#include "blocks/stream.h"

namespace tarvik {

using platform::kOk;

namespace {

constexpr std::uint8_t kZipDeflate = 0;
constexpr std::uint8_t kZipTransposeDeflate = 1;

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

bool dzHeaderDecodable(const DzRecord& record) {
    if (record.dz_zip_type != kZipDeflate && record.dz_zip_type != kZipTransposeDeflate)
        return false;
    if (record.dz_zip_type == kZipTransposeDeflate && record.dz_zip_parameter == 0) return false;
    return inflatedLengthPlausible(record.dz_data_length, record.dz_org_data_length);
}

}  // namespace

std::optional<std::vector<std::uint8_t>> decodeDz(ZtCMF4Stream& stream, const DzRecord& record) {
    if (!dzHeaderDecodable(record)) return std::nullopt;
    const std::uint64_t callerPosition = stream.position();
    std::optional<std::vector<std::uint8_t>> decoded;
    try {
        if (std::optional<std::vector<std::uint8_t>> compressed = readCompressed(stream, record))
            decoded = inflateExactly(compressed->data(), compressed->size(), record.dz_org_data_length);
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
    std::vector<std::uint8_t> ordered(size);
    const std::size_t rows = columns == 0 ? 0 : size / columns;
    const std::size_t whole = rows * columns;
    // The input holds column after column. A tile of rows is done at a time: its slice of every
    // column is read in order and its rows, a few KiB, stay in the cache while they fill.
    constexpr std::size_t kTileRows = 64;
    for (std::size_t first = 0; first < rows; first += kTileRows) {
        const std::size_t count = std::min(kTileRows, rows - first);
        std::uint8_t* tile = ordered.data() + first * columns;
        for (std::size_t c = 0; c < columns; ++c) {
            const std::uint8_t* column = bytes + c * rows + first;
            for (std::size_t r = 0; r < count; ++r) tile[r * columns + c] = column[r];
        }
    }
    // Bytes beyond the last whole row were not transposed.
    std::copy(bytes + whole, bytes + size, ordered.data() + whole);
    return ordered;
}

}  // namespace tarvik
