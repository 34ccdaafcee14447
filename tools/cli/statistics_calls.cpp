#include "statistics_calls.h"

namespace vktcli {

std::optional<CameraStatistics> ReadCameraStatistics(int camera, unsigned timeoutMs) {
  CameraStatistics stats{};
  stats.size = sizeof stats;
  if (VKT_GetCameraStatistics(camera, &stats, timeoutMs) != 0) return std::nullopt;
  return stats;
}

LibraryStatistics ReadLibraryStatistics() {
  LibraryStatistics stats{};
  stats.size = sizeof stats;
  // It fails only on a record too small to hold its size, which this is not.
  if (VKT_GetLibraryStatistics(&stats) != 0) return LibraryStatistics{};
  return stats;
}

}  // namespace vktcli
