#include "time_text.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace mf4tool {

std::string isoDateTime(std::uint64_t nanoseconds) {
    using namespace std::chrono;
    constexpr std::uint64_t kNsPerSecond = 1'000'000'000;
    constexpr std::uint64_t kSecondsPerDay = 86'400;
    // Every uint64 nanosecond count is under 584 years, so the day count stays small.
    const std::uint64_t seconds = nanoseconds / kNsPerSecond;
    const std::uint64_t dayCount = seconds / kSecondsPerDay;
    const std::uint64_t secondOfDay = seconds % kSecondsPerDay;
    const year_month_day date{sys_days{days{static_cast<int>(dayCount)}}};

    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02u:%02u:%02u.%09u",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<unsigned>(secondOfDay / 3600),
                  static_cast<unsigned>(secondOfDay / 60 % 60),
                  static_cast<unsigned>(secondOfDay % 60),
                  static_cast<unsigned>(nanoseconds % kNsPerSecond));
    return text;
}

std::string utcOffsetText(int minutes) {
    const int magnitude = std::abs(minutes);
    char text[16];
    std::snprintf(text, sizeof text, "%c%02d:%02d", minutes < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return text;
}

std::string timeStampText(std::uint64_t nanoseconds, std::uint32_t timeKind, int zoneMinutes,
                          int daylightMinutes) {
    const std::string stamp = isoDateTime(nanoseconds);
    switch (timeKind) {
        case 1:
            return stamp + "Z (UTC; zone " + utcOffsetText(zoneMinutes) + ", daylight saving " +
                   utcOffsetText(daylightMinutes) + ')';
        case 2: return stamp + "Z (UTC)";
        case 3: return stamp + " (local time)";
        default: return stamp + " (time kind " + std::to_string(timeKind) + ')';
    }
}

}  // namespace mf4tool
