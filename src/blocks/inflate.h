// Inflating zlib streams whose decoded length a file declares (DZ blocks, compressed
// attachments). The declared length comes from the file and may be damaged: memory is taken as
// the stream actually produces bytes, never on the declaration's word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tarvik {

// Whether `packedLength` bytes of deflate data can decode to `length` bytes at all: deflate
// expands nothing by more than about 1032 to 1, and zlib counts both sides in 32 bits.
bool inflatedLengthPlausible(std::uint64_t packedLength, std::uint64_t length);

// The `length` bytes that the zlib stream in `packed` decodes to; nothing when the length is
// implausible, the stream is broken, ends early or holds more, or memory runs out.
std::optional<std::vector<std::uint8_t>> inflateExactly(const std::uint8_t* packed, std::size_t packedLength,
                                                        std::uint64_t length);

}  // namespace tarvik
