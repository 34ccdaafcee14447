// The camera's clock: seconds and microseconds since 1970 on the wire,
// SYSTEMTIME at the interface, converted without any time zone.
#pragma once

#include <cstdint>

#include "VKTNetSDK11.h"
#include "camera/camera_context.h"

namespace vkt::settings {

// False for an invalid date or time (year 1601-30827, a real day of the
// month, hour < 24, minute < 60, second < 60, milliseconds < 1000);
// dayOfWeek is not looked at.
bool SystemTimeToUnix(const SYSTEMTIME& time, int64_t& seconds, int32_t& microseconds);
// Microseconds outside 0..999999 carry into the seconds; dayOfWeek is
// computed.
SYSTEMTIME UnixToSystemTime(int64_t seconds, int64_t microseconds);
// The seconds as the camera's signed 32-bit word: clamped, never wrapped.
int32_t ClampSeconds(int64_t seconds);

int GetDateTime(CameraContext& camera, SYSTEMTIME* time, int* extra, uint32_t ms);
int SetDateTime(CameraContext& camera, const SYSTEMTIME* time, int extra, uint32_t ms);

}  // namespace vkt::settings
