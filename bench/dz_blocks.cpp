#include "dz_blocks.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>
#include <thread>
#include <utility>

#include "support/mdf_blocks.h"
#include "support/mdf_builder.h"

namespace tarvik::bench {

using namespace tarvik::test;

std::string transposed(std::string_view bytes, std::uint32_t columns) {
    std::string stored(bytes);
    if (columns == 0) return stored;
    const std::size_t rows = bytes.size() / columns;
    for (std::size_t c = 0; c < columns; ++c)
        for (std::size_t r = 0; r < rows; ++r) stored[c * rows + r] = bytes[r * columns + c];
    return stored;
}

std::string dzBlock(std::string_view records, std::uint8_t zipType, std::uint32_t columns) {
    const std::uint32_t parameter = zipType == kZipTransposeDeflate ? columns : 0;
    const std::string stored =
        zipType == kZipTransposeDeflate ? transposed(records, columns) : std::string(records);
    uLongf packedSize = compressBound(stored.size());
    std::string packed(packedSize, '\0');
    // The fastest level: a writer compressing while it records has no time for more.
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                  reinterpret_cast<const Bytef*>(stored.data()), stored.size(),
                  Z_BEST_SPEED) != Z_OK)
        throw std::runtime_error("compress2 failed");
    packed.resize(packedSize);
    const std::string data = std::string("DT") + u8(zipType) + u8(0) + u32(parameter) +
                             u64(records.size()) + u64(packed.size()) + packed;
    return blockBytes("##DZ", {}, data);
}

DzQueue::DzQueue() : DzQueue(std::max(2u, std::thread::hardware_concurrency())) {}

DzQueue::DzQueue(std::size_t inFlight) : inFlight_(std::max<std::size_t>(1, inFlight)) {}

void DzQueue::add(std::string records, std::uint8_t zipType, std::uint32_t columns, Done done) {
    if (pending_.size() >= inFlight_) handOverOldest();
    pending_.push_back({std::async(std::launch::async,
                                   [records = std::move(records), zipType, columns] {
                                       return dzBlock(records, zipType, columns);
                                   }),
                        std::move(done)});
}

void DzQueue::finish() {
    while (!pending_.empty()) handOverOldest();
}

void DzQueue::handOverOldest() {
    Pending oldest = std::move(pending_.front());
    pending_.pop_front();
    oldest.done(oldest.block.get());
}

}  // namespace tarvik::bench
