// Decoding of DZ blocks: the zlib stream is inflated to exactly the declared length, and a
// transposition (zip type 1) is undone afterwards.
#include <algorithm>
#include <cstdint>
#include <new>

#include "blocks/data_blocks.h"
#include "blocks/inflate.h"
#include "blocks/stream.h"
#include "platform/file.h"

namespace tarvik {

using platform::kOk;

namespace {

constexpr std::uint8_t kZipDeflate = 0;
constexpr std::uint8_t kZipTransposeDeflate = 1;

// Where the compressed bytes of the block lie, or false when they do not lie inside a file of
// `fileSize` bytes.
bool compressedPlace(const DzRecord& record, std::uint64_t fileSize, std::uint64_t& start) {
    start = static_cast<std::uint64_t>(record.position) + DzRecord::kDataStart;
    return record.position >= 0 && fileSize != ZtCMF4Stream::kNoPosition && start <= fileSize &&
           record.dz_data_length <= fileSize - start;
}

bool dzHeaderDecodable(const DzRecord& record) {
    if (record.dz_zip_type != kZipDeflate && record.dz_zip_type != kZipTransposeDeflate)
        return false;
    if (record.dz_zip_type == kZipTransposeDeflate && record.dz_zip_parameter == 0) return false;
    return inflatedLengthPlausible(record.dz_data_length, record.dz_org_data_length);
}

// Inflates and untransposes the compressed bytes that `read` fetches (it gets the buffer and
// the file offset, and says whether all arrived).
template <typename Read>
std::optional<std::vector<std::uint8_t>> decodeWith(const DzRecord& record, std::uint64_t fileSize, Read read) {
    std::uint64_t start = 0;
    if (!dzHeaderDecodable(record) || !compressedPlace(record, fileSize, start)) return std::nullopt;
    try {
        std::vector<std::uint8_t> compressed(static_cast<std::size_t>(record.dz_data_length));
        if (!read(compressed, start)) return std::nullopt;
        std::optional<std::vector<std::uint8_t>> decoded =
            inflateExactly(compressed.data(), compressed.size(), record.dz_org_data_length);
        if (decoded && record.dz_zip_type == kZipTransposeDeflate)
            decoded = untranspose(decoded->data(), decoded->size(), record.dz_zip_parameter);
        return decoded;
    } catch (const std::bad_alloc&) {
        // Up to 4 GiB may be declared; a block the memory cannot hold counts as undecodable.
        return std::nullopt;
    }
}

}  // namespace

std::optional<std::vector<std::uint8_t>> decodeDz(ZtCMF4Stream& stream, const DzRecord& record) {
    const std::uint64_t callerPosition = stream.position();
    std::optional<std::vector<std::uint8_t>> decoded =
        decodeWith(record, stream.size(), [&](std::vector<std::uint8_t>& compressed, std::uint64_t start) {
            return stream.seekRead(start) == kOk && stream.readBytes(compressed.data(), compressed.size()) == kOk;
        });
    stream.seekRead(callerPosition);
    return decoded;
}

std::optional<std::vector<std::uint8_t>> decodeDzAt(std::FILE* file, std::uint64_t fileSize, const DzRecord& record) {
    return decodeWith(record, fileSize, [&](std::vector<std::uint8_t>& compressed, std::uint64_t start) {
        return platform::readAt(file, start, compressed.data(), compressed.size()) == compressed.size();
    });
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
