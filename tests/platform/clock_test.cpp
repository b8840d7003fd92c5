#include "platform/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace tarvik::platform {
namespace {

constexpr std::uint64_t kJanuary2024 = 1705320000ull * 1'000'000'000;  // 2024-01-15 12:00 UTC
constexpr std::uint64_t kJuly2024 = 1721044800ull * 1'000'000'000;     // 2024-07-15 12:00 UTC

// Sets TZ (a POSIX rule, so no zone database is needed) for one test and restores it after.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* rule) {
        if (const char* old = std::getenv("TZ")) saved_ = old;
        setenv("TZ", rule, 1);
    }
    ~ScopedTimeZone() {
        if (saved_) setenv("TZ", saved_->c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> saved_;
};

void expectOffsets(std::uint64_t timeNs, std::int16_t tz, std::int16_t dst) {
    TimeZoneOffsets offsets = timeZoneOffsets(timeNs);
    EXPECT_EQ(offsets.tzOffsetMin, tz);
    EXPECT_EQ(offsets.dstOffsetMin, dst);
}

TEST(Clock, SystemTimeIsNow) {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    auto expected = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
    auto difference = static_cast<std::int64_t>(systemTimeNs()) - expected;
    EXPECT_LT(std::llabs(difference), 5'000'000'000ll);
}

TEST(Clock, OffsetsSplitIntoStandardAndDaylightSaving) {
    {
        ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
        expectOffsets(kJanuary2024, 60, 0);
        expectOffsets(kJuly2024, 60, 60);
    }
    {
        // Lord Howe Island style: standard +10:30, summer (January) half an hour more.
        ScopedTimeZone zone("<+1030>-10:30<+11>-11,M10.1.0,M4.1.0");
        expectOffsets(kJanuary2024, 630, 30);
        expectOffsets(kJuly2024, 630, 0);
    }
}

}  // namespace
}  // namespace tarvik::platform
