// The camera's time stamps (seconds and microseconds since 1970, UTC) as
// the host's local calendar time.
#pragma once

#include <cstdint>

#include "VKTNetSDK11.h"

namespace vkt {

// Microseconds outside 0..999999 carry into the seconds first, so the
// milliseconds always lie in 0..999, also before 1970. A time the host
// cannot convert gives all fields 0.
CameraTime ToCameraTime(int32_t seconds, int32_t microseconds);

}  // namespace vkt
