#include "platform/clock.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <ctime>
#include <mutex>
#include <optional>
#endif

namespace tarvik::platform {
namespace {

constexpr std::uint64_t kNsPerSecond = 1'000'000'000;

}  // namespace

#if defined(_WIN32)

namespace {

// FILETIME counts 100 ns since 1601-01-01 UTC.
constexpr std::uint64_t kFileTimeAtEpoch = 116'444'736'000'000'000;
constexpr std::uint64_t kNsPerFileTimeTick = 100;

std::uint64_t ticksOf(const FILETIME& time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

}  // namespace

std::uint64_t systemTimeNs() {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    const std::uint64_t ticks = ticksOf(now);
    return ticks < kFileTimeAtEpoch ? 0 : (ticks - kFileTimeAtEpoch) * kNsPerFileTimeTick;
}

// The zone's rules (GetTimeZoneInformation) give the standard offset; the local time the system
// computes for the instant tells whether daylight saving is in force then, and by how much.
TimeZoneOffsets timeZoneOffsets(std::uint64_t timeNs) {
    TIME_ZONE_INFORMATION zone{};
    if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) return {0, 0};
    const auto standardMin = static_cast<std::int16_t>(-(zone.Bias + zone.StandardBias));
    const std::uint64_t ticks = timeNs / kNsPerFileTimeTick + kFileTimeAtEpoch;
    FILETIME utcTime{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME utc{}, local{};
    FILETIME localTime{};
    if (!FileTimeToSystemTime(&utcTime, &utc) || !SystemTimeToTzSpecificLocalTime(&zone, &utc, &local) ||
        !SystemTimeToFileTime(&local, &localTime))
        return {standardMin, 0};
    const std::int64_t totalMin =
        (static_cast<std::int64_t>(ticksOf(localTime)) - static_cast<std::int64_t>(ticks)) / 600'000'000;
    return {standardMin, static_cast<std::int16_t>(totalMin - standardMin)};
}

#else

namespace {
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

#endif

}  // namespace tarvik::platform
