// The camera's clock as "vktcli time" prints and reads it:
//
//   text  "2026-12-08 22:30:00.000 extra=5"
//   JSON  {"year": 2026, "month": 12, "day": 8, "hour": 22, "minute": 30,
//          "second": 0, "milliseconds": 0, "dayOfWeek": 2, "extra": 5}
//
// Pure functions, so the parsing rules can be tested without a camera.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "VKTNetSDK11.h"

namespace vktcli {

// The camera keeps its clock in 32-bit seconds; the library clamps times
// outside these ends, so vktcli refuses them instead of setting another time.
inline constexpr std::string_view kEarliestCameraTime = "1901-12-13 20:45:52";
inline constexpr std::string_view kLatestCameraTime = "2038-01-19 03:14:07";

// "2026-12-08 22:30:00.000". Whatever the fields hold, nothing is cut off.
std::string FormatSystemTime(const SYSTEMTIME& time);

// Both end with a newline.
std::string FormatCameraClockText(const SYSTEMTIME& time, int extra);
std::string FormatCameraClockJson(const SYSTEMTIME& time, int extra);

// Gregorian calendar; year 1..9999.
bool IsValidDate(int year, int month, int day);

// 0 (Sunday) .. 6 of a valid date.
int DayOfWeek(int year, int month, int day);

// "YYYY-MM-DD HH:MM:SS" or "YYYY-MM-DD HH:MM:SS.mmm", exactly these digit
// counts, a date that exists, hour 0-23, minute and second 0-59, within the
// camera's clock range. dayOfWeek is filled in. On failure returns nullopt
// and sets `error`.
std::optional<SYSTEMTIME> ParseSystemTime(std::string_view text, std::string& error);

// The time of a valid date and time of day, dayOfWeek filled in.
SYSTEMTIME MakeSystemTime(int year, int month, int day, int hour, int minute, int second, int milliseconds);

// Seconds since 1970-01-01 00:00:00 UTC (and the milliseconds past them),
// broken down in UTC.
SYSTEMTIME SystemTimeFromUnix(std::int64_t seconds, unsigned milliseconds);

// The host's clock, in UTC.
SYSTEMTIME HostUtcNow();

}  // namespace vktcli
