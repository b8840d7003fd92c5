// The first and last master times of the compressed data blocks that reads of a file have
// decoded, per data group. A time search starts from them: it narrows to the one block whose
// times enclose the time it looks for, or to the gap between two known blocks, before it
// decodes anything, so a viewer that jumps around a long compressed recording decodes each
// block at most once for its searches. Every thread reading the file shares them.
#pragma once

#include <cstdint>
#include <limits>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace tarvik {

class MasterBounds {
public:
    // The whole records a block holds and the master times of its first and last one.
    struct Span {
        std::uint64_t first = 0;
        std::uint64_t last = 0;
        double firstTime = 0;
        double lastTime = 0;
    };

    // Records lo..hi a search looks in; the times at its ends when they are known (else NaN).
    struct Range {
        std::uint64_t lo = 0;
        std::uint64_t hi = 0;
        double loTime = std::numeric_limits<double>::quiet_NaN();
        double hiTime = std::numeric_limits<double>::quiet_NaN();
    };

    // Remembers a block of the data group at `dataGroup` (its file position); a block already
    // known, or one whose span crosses a known one, changes nothing.
    void note(std::int64_t dataGroup, const Span& span);
    // `range` shrunk by the known blocks of the group to the records that can hold time t: the
    // block whose times enclose t, else the records between the last block before t and the
    // first after it. Assumes times that do not fall; where they do, the range stays inside
    // `range` and the search merely finds what it finds without the bounds.
    Range narrow(std::int64_t dataGroup, double t, Range range);
    void clear();

private:
    std::mutex lock_;
    std::unordered_map<std::int64_t, std::vector<Span>> groups_;  // each sorted by record
};

}  // namespace tarvik
