// Compressed (DZ) blocks of the benchmarks' records, made the way a compressing writer makes
// them: the records of one block deflated at zlib's fastest level, either as they are (zip type
// 0) or after a transposition into byte columns (zip type 1). The read and inflate benchmarks
// share them, so both measure the same blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <string>
#include <string_view>

namespace tarvik::bench {

inline constexpr std::uint8_t kZipDeflate = 0;
inline constexpr std::uint8_t kZipTransposeDeflate = 1;

// Data blocks a generated file is cut into (the last one may hold fewer records).
inline constexpr std::uint64_t kDataBlocks = 64;

inline std::uint64_t recordsPerBlock(std::uint64_t records) {
    return (records + kDataBlocks - 1) / kDataBlocks;
}

// The bytes laid out column by column: byte c of every row (a row being `columns` bytes, one
// record when `columns` is the record size), then byte c + 1 of every row, and so on. Bytes past
// the last whole row stay where they are, at the end.
std::string transposed(std::string_view bytes, std::uint32_t columns);

// A whole DZ block (header included) holding `records` as a DT block's data. Zip type 1 uses
// `columns` as its zip parameter; zip type 0 ignores it.
std::string dzBlock(std::string_view records, std::uint8_t zipType, std::uint32_t columns);

// Makes DZ blocks on worker threads while the caller prepares the next records. Each block goes
// to the callback it was added with, in the order the blocks were added, so a file being written
// receives them in record order; at most `inFlight` blocks (with their records) are held.
class DzQueue {
public:
    using Done = std::function<void(std::string&& block)>;

    DzQueue();  // one block in flight per core, at least two
    explicit DzQueue(std::size_t inFlight);

    // Waits for the oldest block first when `inFlight` are already being made.
    void add(std::string records, std::uint8_t zipType, std::uint32_t columns, Done done);
    // Hands over every block still in flight.
    void finish();

private:
    struct Pending {
        std::future<std::string> block;
        Done done;
    };
    void handOverOldest();

    std::size_t inFlight_;
    std::deque<Pending> pending_;
};

}  // namespace tarvik::bench
