// The value ranges, checked against a plain reference over many generated cases. (Fields are
// encoded by encodeField, which tests/data checks bit by bit.)
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "writer/value_packer.h"

namespace tarvik {
namespace {

template <typename T>
void checkRanges(std::mt19937_64& random) {
    for (int round = 0; round < 2000; ++round) {
        std::vector<T> values(random() % 70);
        double low = std::numeric_limits<double>::infinity(), high = -low;
        for (T& value : values) {
            if constexpr (std::is_floating_point_v<T>) {
                value = random() % 5 == 0 ? std::numeric_limits<T>::quiet_NaN()
                                          : static_cast<T>(std::uniform_real_distribution<double>(-1e6, 1e6)(random));
            } else {
                value = static_cast<T>(random());
            }
            if (std::isnan(static_cast<double>(value))) continue;
            low = std::min(low, static_cast<double>(value));
            high = std::max(high, static_cast<double>(value));
        }
        ChannelSlot slot;
        widenRange(slot, values.data(), values.size());
        ASSERT_EQ(slot.rangeValid, low <= high) << values.size() << " values";
        if (slot.rangeValid) {
            ASSERT_EQ(slot.rangeMin, low);
            ASSERT_EQ(slot.rangeMax, high);
        }
    }
}

TEST(ValuePacking, RangesIgnoreNaNAndMatchAPlainScan) {
    std::mt19937_64 random(11);
    checkRanges<double>(random);
    checkRanges<float>(random);
    checkRanges<std::int16_t>(random);
    checkRanges<std::uint64_t>(random);
    // A later batch widens a range only where it goes beyond it.
    ChannelSlot slot;
    const double first[3] = {1, 5, 3}, inside[2] = {2, 4}, beyond[2] = {0, 9};
    widenRange(slot, first, 3);
    slot.rangeChanged = false;
    widenRange(slot, inside, 2);
    EXPECT_FALSE(slot.rangeChanged);
    widenRange(slot, beyond, 2);
    EXPECT_TRUE(slot.rangeChanged && slot.rangeMin == 0 && slot.rangeMax == 9);
}

}  // namespace
}  // namespace tarvik
