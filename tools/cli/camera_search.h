// Runs a discovery search and returns every camera found.
#pragma once

#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "VKTNetSDK11.h"

namespace vktcli {

struct SearchOutcome {
  bool ok = false;
  int error = 0;  // VKT_GetLastError() when !ok
  std::vector<DeviceRecord> cameras;
};

// Needs a started library. timeoutMs must be above 0: 0 would only copy the
// previous search of this process.
SearchOutcome SearchCameras(unsigned timeoutMs);

// SearchCameras, telling `err` "vktcli: WHAT failed: <why>" when it fails.
std::optional<std::vector<DeviceRecord>> SearchReporting(unsigned timeoutMs, std::string_view what, std::ostream& err);

// The result of the last search of this process, without searching again.
SearchOutcome FetchStoredCameras();

// For each camera of the last search, the network interface its answer came
// in on; "" where the system did not say or the camera is not in that result.
std::vector<std::string> SearchInterfaces(std::span<const DeviceRecord> cameras);

}  // namespace vktcli
