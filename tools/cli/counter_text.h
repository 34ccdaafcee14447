// The library's diagnostic counters, read with the record's size set as the
// library asks, and shown as text and JSON in named groups: one text line
// "picture drops: bad marker 3, short APP1 0, ..." and one JSON object
// {"badMarker": 3, "shortApp1": 0, ...} per group, so "stats", "listen" and
// "stream" show the same counters under the same names.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "VKTNetSDK11.h"
#include "json_text.h"

namespace vktcli {

// The counters of `camera` (a handle of this process); nullopt with the
// library's last error set when the call fails.
std::optional<CameraStatistics> ReadCameraStatistics(int camera, unsigned timeoutMs);

// The library-wide counters; zero when the call fails.
LibraryStatistics ReadLibraryStatistics();

enum class CameraCounterGroup { kCommands, kPictures, kPictureDrops, kStream, kStreamDrops, kIgnoredDatagrams };

// "picture drops: bad marker 3, short APP1 0, ..." without a newline.
std::string CounterGroupText(CameraCounterGroup group, const CameraStatistics& stats);

// Adds the group to `json` as an object under its key ("pictureDrops").
void AddCounterGroupJson(Json& json, CameraCounterGroup group, const CameraStatistics& stats);

// "library: unknown-sender connections 0, discovery datagrams skipped 4"
std::string LibraryCountersText(const LibraryStatistics& stats);
void AddLibraryCountersJson(Json& json, const LibraryStatistics& stats);

// What "vktcli stats" shows at one moment.
struct StatisticsReport {
  std::string ip;
  std::optional<double> seconds;  // since the first report, with --watch
  CameraStatistics camera{};
  LibraryStatistics library{};
};

// "camera: IP", "seconds: S" with --watch, then one line per group.
std::string FormatStatisticsText(const StatisticsReport& report);

// The same as one JSON object on one line, with a newline.
std::string FormatStatisticsJson(const StatisticsReport& report);

}  // namespace vktcli
