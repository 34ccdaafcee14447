#include "counter_text.h"

#include <array>
#include <cstdint>
#include <span>

#include "format.h"

namespace vktcli {

namespace {

template <typename Record>
struct Counter {
  std::string_view label;  // in text
  std::string_view key;    // in JSON
  std::uint64_t Record::*member;
};

template <typename Record>
struct Group {
  std::string_view label;
  std::string_view key;
  std::span<const Counter<Record>> counters;
};

using CameraCounter = Counter<CameraStatistics>;

constexpr std::array<CameraCounter, 7> kCommands{{
    {"sent", "sent", &CameraStatistics::commandsSent},
    {"failed", "failed", &CameraStatistics::commandsFailed},
    {"time-outs", "timeouts", &CameraStatistics::commandTimeouts},
    {"network errors", "networkErrors", &CameraStatistics::commandNetworkErrors},
    {"refusals", "refusals", &CameraStatistics::commandRefusals},
    {"mismatches", "mismatches", &CameraStatistics::commandMismatches},
    {"reconnects", "reconnects", &CameraStatistics::reconnects},
}};
constexpr std::array<CameraCounter, 4> kPictures{{
    {"delivered", "delivered", &CameraStatistics::picturesDelivered},
    {"bytes", "bytes", &CameraStatistics::pictureBytes},
    {"connections", "connections", &CameraStatistics::pictureConnections},
    {"open now", "open", &CameraStatistics::pictureConnectionsOpen},
}};
constexpr std::array<CameraCounter, 9> kPictureDrops{{
    {"bad marker", "badMarker", &CameraStatistics::picturesDroppedBadMarker},
    {"short APP1", "shortApp1", &CameraStatistics::picturesDroppedShortApp1},
    {"oversize", "oversize", &CameraStatistics::picturesDroppedOversize},
    {"time window", "timeWindow", &CameraStatistics::picturesDroppedTimeWindow},
    {"closed early", "closedEarly", &CameraStatistics::picturesDroppedClosedEarly},
    {"camera deleted", "cameraDeleted", &CameraStatistics::picturesDroppedCameraDeleted},
    {"no callback", "noCallback", &CameraStatistics::picturesDroppedNoCallback},
    {"over share", "overShare", &CameraStatistics::picturesDroppedOverShare},
    {"buffer cap", "bufferCap", &CameraStatistics::picturesDroppedBufferCap},
}};
constexpr std::array<CameraCounter, 2> kStream{{
    {"frames", "frames", &CameraStatistics::framesDelivered},
    {"bytes", "bytes", &CameraStatistics::streamBytes},
}};
constexpr std::array<CameraCounter, 3> kStreamDrops{{
    {"gap", "gap", &CameraStatistics::framesDroppedGap},
    {"past last", "pastLast", &CameraStatistics::framesDroppedPastLast},
    {"oversize", "oversize", &CameraStatistics::framesDroppedOversize},
}};
constexpr std::array<CameraCounter, 2> kIgnoredDatagrams{{
    {"wrong size", "size", &CameraStatistics::datagramsIgnoredSize},
    {"wrong sender", "sender", &CameraStatistics::datagramsIgnoredSender},
}};
constexpr std::array<Counter<LibraryStatistics>, 6> kLibrary{{
    {"unknown-sender connections", "unknownSenderConnections", &LibraryStatistics::unknownSenderConnections},
    {"discovery datagrams skipped", "discoveryDatagramsSkipped", &LibraryStatistics::discoveryDatagramsSkipped},
    {"picture connections open", "pictureConnectionsOpen", &LibraryStatistics::pictureConnectionsOpen},
    {"open at most", "pictureConnectionsPeak", &LibraryStatistics::pictureConnectionsPeak},
    {"picture bytes buffered", "pictureBytesBuffered", &LibraryStatistics::pictureBytesBuffered},
    {"buffered at most", "pictureBytesBufferedPeak", &LibraryStatistics::pictureBytesBufferedPeak},
}};

// In the order of CameraCounterGroup.
constexpr std::array<Group<CameraStatistics>, 6> kCameraGroups{{
    {"commands", "commands", kCommands},
    {"pictures", "pictures", kPictures},
    {"picture drops", "pictureDrops", kPictureDrops},
    {"stream", "stream", kStream},
    {"stream drops", "streamDrops", kStreamDrops},
    {"ignored datagrams", "ignoredDatagrams", kIgnoredDatagrams},
}};
constexpr Group<LibraryStatistics> kLibraryGroup{"library", "library", kLibrary};

const Group<CameraStatistics>& CameraGroup(CameraCounterGroup group) {
  return kCameraGroups[static_cast<std::size_t>(group)];
}

template <typename Record>
std::string GroupText(const Group<Record>& group, const Record& stats) {
  std::string line = std::string(group.label) + ":";
  for (std::size_t i = 0; i < group.counters.size(); ++i) {
    const Counter<Record>& counter = group.counters[i];
    line += (i == 0 ? " " : ", ") + std::string(counter.label) + " " + std::to_string(stats.*counter.member);
  }
  return line;
}

template <typename Record>
void AddGroupJson(Json& json, const Group<Record>& group, const Record& stats) {
  Json& object = json[std::string(group.key)] = Json::object();
  for (const Counter<Record>& counter : group.counters) object[std::string(counter.key)] = stats.*counter.member;
}

}  // namespace

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

std::string CounterGroupText(CameraCounterGroup group, const CameraStatistics& stats) {
  return GroupText(CameraGroup(group), stats);
}

void AddCounterGroupJson(Json& json, CameraCounterGroup group, const CameraStatistics& stats) {
  AddGroupJson(json, CameraGroup(group), stats);
}

std::string LibraryCountersText(const LibraryStatistics& stats) { return GroupText(kLibraryGroup, stats); }

void AddLibraryCountersJson(Json& json, const LibraryStatistics& stats) {
  AddGroupJson(json, kLibraryGroup, stats);
}

std::string FormatStatisticsText(const StatisticsReport& report) {
  std::string text = "camera: " + report.ip + "\n";
  if (report.seconds) text += "seconds: " + FormatFixed(*report.seconds, 1) + "\n";
  for (const Group<CameraStatistics>& group : kCameraGroups) text += GroupText(group, report.camera) + "\n";
  return text + LibraryCountersText(report.library) + "\n";
}

std::string FormatStatisticsJson(const StatisticsReport& report) {
  Json json{{"camera", report.ip}};
  if (report.seconds) json["seconds"] = *report.seconds;
  for (const Group<CameraStatistics>& group : kCameraGroups) AddGroupJson(json, group, report.camera);
  AddLibraryCountersJson(json, report.library);
  return JsonLine(json, {{"seconds", 1}}) + "\n";
}

}  // namespace vktcli
