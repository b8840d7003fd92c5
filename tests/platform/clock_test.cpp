#include "platform/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>

namespace tarvik::platform {
namespace {

TEST(Clock, SystemTimeIsNow) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto expected = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
    EXPECT_LT(std::llabs(static_cast<std::int64_t>(systemTimeNs()) - expected), 5'000'000'000ll);
}

// Minutes local time is ahead of UTC at `when`, by the C library's broken-down times.
int localMinusUtcMin(std::time_t when) {
    std::tm local{}, utc{};
#if defined(_WIN32)
    localtime_s(&local, &when);
    gmtime_s(&utc, &when);
#else
    localtime_r(&when, &local);
    gmtime_r(&when, &utc);
#endif
    // The two days differ by one at most, also across a year's end.
    int days = local.tm_yday - utc.tm_yday;
    if (days > 1) days = -1;
    if (days < -1) days = 1;
    return days * 1440 + (local.tm_hour - utc.tm_hour) * 60 + (local.tm_min - utc.tm_min);
}

TEST(Clock, OffsetsAddUpToTheLocalTimesDistanceFromUtcWhateverTheZone) {
    // In January and July, across a year's end, and now: both halves of the year, in the zone
    // the system has (on Windows its settings, elsewhere TZ or the system's zone).
#if defined(_WIN32)
    // The C runtime would follow a TZ variable the library does not read (Wine passes Linux's on).
    _putenv("TZ=");
    _tzset();
#endif
    const std::time_t instants[] = {1705320000, 1721044800, 1704067140, std::time(nullptr)};
    for (const std::time_t when : instants) {
        const TimeZoneOffsets offsets = timeZoneOffsets(static_cast<std::uint64_t>(when) * 1'000'000'000);
        EXPECT_EQ(offsets.tzOffsetMin + offsets.dstOffsetMin, localMinusUtcMin(when)) << when;
        EXPECT_LE(std::abs(offsets.dstOffsetMin), 120) << when;
    }
}

TEST(Clock, OffsetsSplitIntoStandardAndDaylightSaving) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows takes the zone from its settings, not from TZ rules a test can set";
#else
    constexpr std::uint64_t kJanuary = 1705320000ull * 1'000'000'000;  // 2024-01-15 12:00 UTC
    constexpr std::uint64_t kJuly = 1721044800ull * 1'000'000'000;     // 2024-07-15 12:00 UTC
    // POSIX rules need no zone database. The second is Lord Howe Island style: standard +10:30,
    // in summer (January) half an hour more.
    const struct {
        const char* rule;
        std::int16_t january[2], july[2];
    } zones[] = {{"CET-1CEST,M3.5.0,M10.5.0/3", {60, 0}, {60, 60}},
                 {"<+1030>-10:30<+11>-11,M10.1.0,M4.1.0", {630, 30}, {630, 0}}};
    const char* saved = std::getenv("TZ");
    const std::string old = saved ? saved : "";
    for (const auto& zone : zones) {
        setenv("TZ", zone.rule, 1);  // the library must notice the change by itself
        const TimeZoneOffsets january = timeZoneOffsets(kJanuary), july = timeZoneOffsets(kJuly);
        EXPECT_EQ(january.tzOffsetMin, zone.january[0]) << zone.rule;
        EXPECT_EQ(january.dstOffsetMin, zone.january[1]) << zone.rule;
        EXPECT_EQ(july.tzOffsetMin, zone.july[0]) << zone.rule;
        EXPECT_EQ(july.dstOffsetMin, zone.july[1]) << zone.rule;
    }
    saved ? setenv("TZ", old.c_str(), 1) : unsetenv("TZ");
    tzset();
#endif
}

}  // namespace
}  // namespace tarvik::platform
