// Appending data blocks to a growing chain: each block is written whole at the end of the file
// before the link to it, and the DL blocks that list them are written whole (with zero links)
// before they are linked, so the file is a consistent block graph at every moment.
#pragma once

#include <cstdint>
#include <string_view>

#include "writer/write_session.h"

namespace tarvik {

class ZtCMF4Stream;

// Links in the first DL of a chain, and the most any later DL has room for.
inline constexpr std::uint64_t kFirstListCapacity = 256;
inline constexpr std::uint64_t kLargestListCapacity = 524288;

// Starts a block `id` ("##DT" or "##SD") of `length` data bytes at the end of the file: its
// header, to be followed by exactly `length` bytes. The block's position, or -1 when the header
// could not be written.
std::int64_t beginDataBlock(ZtCMF4Stream& stream, std::string_view id, std::uint64_t length);

// Links the complete block at `position` into `chain`, starting a new DL when the current one is
// full. kOk or kFailed.
int linkDataBlock(ZtCMF4Stream& stream, DataChain& chain, std::int64_t position, std::uint64_t length);

// A whole block from one buffer: beginDataBlock, the bytes, linkDataBlock.
int appendDataBlock(ZtCMF4Stream& stream, DataChain& chain, std::string_view id, const void* data,
                    std::uint64_t length);

// Shrinks the chain's last DL, in place, to the links it uses; the bytes after its new end stay.
// A full DL (or a chain without one) is left alone. kOk or kFailed.
int trimLastList(ZtCMF4Stream& stream, const DataChain& chain);

}  // namespace tarvik
