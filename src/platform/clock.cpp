#include "platform/clock.h"

#include <ctime>
#include <mutex>
#include <optional>

namespace tarvik::platform {
namespace {

constexpr std::uint64_t kNsPerSecond = 1'000'000'000;
constexpr std::int16_t kUsualDstShiftMin = 60;
constexpr std::time_t kProbeStep = 30 * 24 * 3600;  // about a month
constexpr int kProbeCount = 12;                      // a year to either side

struct LocalOffset {
    long gmtoffMin;
    bool dst;
};

std::optional<LocalOffset> localOffsetAt(std::time_t when) {
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr) return std::nullopt;
    return LocalOffset{local.tm_gmtoff / 60, local.tm_isdst > 0};
}

// Standard offset of the zone near `when`: that of the closest instant, a month apart at a
// time, at which daylight saving is not in force. None for zones that keep it all year.
std::optional<long> nearestStandardOffset(std::time_t when) {
    for (int step = 1; step <= kProbeCount; ++step) {
        for (std::time_t direction : {-1, 1}) {
            auto probe = localOffsetAt(when + direction * step * kProbeStep);
            if (probe && !probe->dst) return probe->gmtoffMin;
        }
    }
    return std::nullopt;
}

// The size of the daylight-saving shift is not part of the C library's answer. Comparing with
// the standard offset of a nearby instant finds it for zones whose shift is not an hour
// (half-hour shifts exist); an hour is assumed when that comparison gives nothing sensible.
std::int16_t dstShiftMin(std::time_t when, long gmtoffMin) {
    auto standard = nearestStandardOffset(when);
    if (!standard) return kUsualDstShiftMin;
    long shift = gmtoffMin - *standard;
    if (shift == 0 || shift < -120 || shift > 120) return kUsualDstShiftMin;
    return static_cast<std::int16_t>(shift);
}

}  // namespace

std::uint64_t systemTimeNs() {
    timespec now{};
    if (clock_gettime(CLOCK_REALTIME, &now) != 0 || now.tv_sec < 0) return 0;
    return static_cast<std::uint64_t>(now.tv_sec) * kNsPerSecond
           + static_cast<std::uint64_t>(now.tv_nsec);
}

TimeZoneOffsets timeZoneOffsets(std::uint64_t timeNs) {
    // The C library keeps the zone in process-wide state that tzset replaces; its own lock is
    // invisible to the thread checker, so the library's calls take one of their own.
    static std::mutex zoneLock;
    std::lock_guard lock(zoneLock);
    // Pick up a time zone the host may have set in the environment since the last call.
    tzset();
    auto when = static_cast<std::time_t>(timeNs / kNsPerSecond);
    auto local = localOffsetAt(when);
    if (!local) return {0, 0};
    std::int16_t dst = local->dst ? dstShiftMin(when, local->gmtoffMin) : 0;
    return {static_cast<std::int16_t>(local->gmtoffMin - dst), dst};
}

}  // namespace tarvik::platform
