// The decoded blocks an open file keeps between reads: bounded in bytes, the block used longest
// ago forgotten first, and a block someone still reads stays alive after it is forgotten.
#include <gtest/gtest.h>

#include "blocks/decoded_blocks.h"

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

}  // namespace
}  // namespace tarvik::test
