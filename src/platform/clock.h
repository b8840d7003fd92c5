// System time and the local time zone, for the time stamps of written header and history blocks.
#pragma once

#include <cstdint>

namespace tarvik::platform {

// Nanoseconds since 1970-01-01 00:00:00 UTC.
std::uint64_t systemTimeNs();

struct TimeZoneOffsets {
    std::int16_t tzOffsetMin;   // offset of standard local time from UTC, minutes
    std::int16_t dstOffsetMin;  // additional daylight-saving offset in force at that time
};

// Offsets of the local time zone at the instant `timeNs` (nanoseconds since the epoch).
// The C library tells only the total offset and whether daylight saving is in force; the size
// of the shift is taken from the nearest instant (within a year) without daylight saving, and
// is 60 minutes when there is none or the difference is implausible (0 or beyond two hours).
// The two offsets always add up to the local time's offset from UTC.
TimeZoneOffsets timeZoneOffsets(std::uint64_t timeNs);

}  // namespace tarvik::platform
