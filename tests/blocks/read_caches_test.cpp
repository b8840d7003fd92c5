// What an open file keeps between reads to make them faster, and must never make wrong: the
// decoded blocks (bounded in bytes, the block used longest ago forgotten first, a block someone
// still reads alive after it is forgotten) and the block bounds a time search starts from
// (whatever blocks are known, the records they leave to search hold the record looked for).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "blocks/decoded_blocks.h"
#include "blocks/master_bounds.h"

namespace tarvik::test {
namespace {

DecodedBlocks::Bytes bytes(std::size_t size) { return std::make_shared<const std::vector<std::uint8_t>>(size, 1); }

TEST(DecodedBlocks, ForgetTheBlockUsedLongestAgoWhenTheBudgetIsFull) {
    DecodedBlocks blocks(100);
    blocks.keep(8, bytes(40));
    blocks.keep(16, bytes(40));
    const DecodedBlocks::Bytes held = blocks.find(16);
    ASSERT_NE(blocks.find(8), nullptr) << "8 is now the block used last";
    blocks.keep(24, bytes(40));  // 120 bytes would not fit: 16, used longest ago, goes
    EXPECT_EQ(blocks.find(16), nullptr);
    EXPECT_NE(blocks.find(8), nullptr);
    EXPECT_NE(blocks.find(24), nullptr);
    EXPECT_EQ(blocks.heldBytes(), 80u);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held->size(), 40u) << "a forgotten block lives on while it is read";

    blocks.keep(32, bytes(101));
    EXPECT_EQ(blocks.find(32), nullptr) << "larger than the budget: not kept";
    EXPECT_EQ(blocks.heldBytes(), 80u) << "and nothing forgotten for it";
    blocks.clear();
    EXPECT_EQ(blocks.find(8), nullptr);
    EXPECT_EQ(blocks.heldBytes(), 0u);
}

TEST(MasterBounds, TheNarrowedRangeKeepsTheRecordsAroundEveryTime) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        // Times that never fall, with repeats and jumps; blocks of random sizes over them.
        const std::size_t count = 2 + random() % 400;
        std::vector<double> times(count);
        for (std::size_t i = 1; i < count; ++i)
            times[i] = times[i - 1] + (random() % 4 == 0 ? 0.0 : 0.001 * (1 + random() % 50));
        std::vector<std::uint64_t> starts{0};
        while (starts.back() < count) starts.push_back(starts.back() + 1 + random() % 60);
        starts.back() = count;
        MasterBounds bounds;
        for (std::size_t b = 0; b + 1 < starts.size(); ++b) {
            if (random() % 3 == 0) continue;  // blocks no search has decoded
            const std::uint64_t first = starts[b], last = starts[b + 1] - 1;
            bounds.note(1, {first, last, times[first], times[last]});
            bounds.note(1, {first, last + 1, 0, 1e9});  // crosses a known block: ignored
        }
        for (int probe = 0; probe < 20; ++probe) {
            const double t = std::uniform_real_distribution<double>(-0.1, times.back() + 0.1)(random);
            const auto range = bounds.narrow(1, t, {0, count - 1});
            ASSERT_LE(range.lo, range.hi);
            // The last record before t and the first at or after it both stay inside.
            const auto firstNotBefore = std::lower_bound(times.begin(), times.end(), t) - times.begin();
            const std::uint64_t lower = std::min<std::uint64_t>(firstNotBefore, count - 1);
            const std::uint64_t upper = firstNotBefore == 0 ? 0 : firstNotBefore - 1;
            if (firstNotBefore < static_cast<std::ptrdiff_t>(count) && times[lower] == t) continue;  // any equal record will do
            EXPECT_TRUE(range.lo <= upper && lower <= range.hi)
                << "round " << round << " t " << t << ": " << range.lo << ".." << range.hi;
            if (!std::isnan(range.loTime)) {
                EXPECT_EQ(range.loTime, times[range.lo]);
            }
            if (!std::isnan(range.hiTime)) {
                EXPECT_EQ(range.hiTime, times[range.hi]);
            }
        }
        // Another group knows nothing, and a range narrower than the known blocks stays as it is.
        EXPECT_EQ(bounds.narrow(2, times[count / 2], {0, count - 1}).hi, count - 1);
        const auto inner = bounds.narrow(1, times[count / 2], {count / 2, count / 2});
        EXPECT_EQ(inner.lo, count / 2);
        EXPECT_EQ(inner.hi, count / 2);
    }
}

}  // namespace
}  // namespace tarvik::test
