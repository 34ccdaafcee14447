// Reading the library's diagnostic counters with the record's size set, as
// the library asks.
#pragma once

#include <optional>

#include "VKTNetSDK11.h"

namespace vktcli {

// The counters of `camera` (a handle of this process); nullopt with the
// library's last error set when the call fails.
std::optional<CameraStatistics> ReadCameraStatistics(int camera, unsigned timeoutMs);

// The library-wide counters; zero when the call fails.
LibraryStatistics ReadLibraryStatistics();

}  // namespace vktcli
