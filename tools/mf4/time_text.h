// Time stamps of MDF files (nanoseconds since 1970-01-01) in ISO 8601 form.
#pragma once

#include <cstdint>
#include <string>

namespace mf4tool {

// "YYYY-MM-DDThh:mm:ss.nnnnnnnnn" for `nanoseconds` since 1970-01-01 00:00:00, without a zone
// suffix: whether the value is UTC or local time depends on the flags stored beside it.
std::string isoDateTime(std::uint64_t nanoseconds);

// A signed offset in minutes as "+hh:mm" / "-hh:mm".
std::string utcOffsetText(int minutes);

// A time stamp with what is known of its zone, after the time kind of MF4Content (1 UTC with
// valid zone offsets, 2 UTC, 3 local time of an unknown zone): "...Z (UTC)",
// "...Z (UTC; zone +01:00, daylight saving +00:00)", "... (local time)".
std::string timeStampText(std::uint64_t nanoseconds, std::uint32_t timeKind, int zoneMinutes,
                          int daylightMinutes);

}  // namespace mf4tool
