#include "picture_text.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "format.h"
#include "json_text.h"
#include "time_text.h"

namespace vktcli {

namespace {

struct RecordWord {
  std::string_view name;
  std::int32_t PictureInfo::*word;
  bool mayBeAbsent;
};

constexpr RecordWord kRecordWords[] = {
    {"recordWord8", &PictureInfo::recordWord8, false},   {"recordWord24", &PictureInfo::recordWord24, false},
    {"recordWord28", &PictureInfo::recordWord28, false}, {"recordWord32", &PictureInfo::recordWord32, false},
    {"recordWord36", &PictureInfo::recordWord36, true},  {"recordWord40", &PictureInfo::recordWord40, true},
};

}  // namespace

bool IsAbsentRecordWord(std::int32_t word) { return word == -1; }

std::string FormatSnapshotText(std::string_view file, const PictureInfo& info, int value, std::size_t size) {
  std::string text = "file: " + Printable(file) + "\n";
  text += "size: " + std::to_string(size) + " bytes\n";
  text += "camera: " + std::to_string(info.camera) + "\n";
  text += "time: " + FormatSystemTime(info.time) + "\n";
  for (const RecordWord& item : kRecordWords) {
    const std::int32_t word = info.*item.word;
    text += std::string(item.name) + ": ";
    text += item.mayBeAbsent && IsAbsentRecordWord(word) ? std::string("absent") : std::to_string(word);
    text += "\n";
  }
  text += "value: " + std::to_string(value) + "\n";
  return text;
}

std::string FormatSnapshotJson(std::string_view file, const PictureInfo& info, int value, std::size_t size) {
  Json object{{"file", file}, {"size", size}, {"camera", info.camera}, {"time", FormatSystemTime(info.time)}};
  for (const RecordWord& item : kRecordWords) {
    const std::int32_t word = info.*item.word;
    object[std::string(item.name)] = item.mayBeAbsent && IsAbsentRecordWord(word) ? Json(nullptr) : Json(word);
  }
  object["value"] = value;
  return JsonLine(object) + "\n";
}

bool IsValidCameraTime(const CameraTime& time) {
  return IsValidDate(time.year, time.month, time.day) && time.hour < 24 && time.minute < 60 && time.second < 60 &&
         time.milliseconds < 1000;
}

CameraTime LocalCameraTime(std::chrono::system_clock::time_point instant) {
  // Floored, so the milliseconds lie in 0..999 before 1970 too.
  const auto seconds = std::chrono::floor<std::chrono::seconds>(instant);
  const std::time_t since1970 = std::chrono::system_clock::to_time_t(seconds);
  std::tm local{};
  localtime_r(&since1970, &local);
  const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(instant - seconds).count();
  // tm_sec reads 60 in a leap second; a camera's time stamp never does.
  return MakeSystemTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                        std::min(local.tm_sec, 59), static_cast<int>(milliseconds));
}

CameraTime PictureNameTime(const CameraTime& stamp, std::chrono::system_clock::time_point arrival) {
  return IsValidCameraTime(stamp) ? stamp : LocalCameraTime(arrival);
}

std::string FileTimeStamp(const CameraTime& time) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04u%02u%02u-%02u%02u%02u-%03u", unsigned{time.year}, unsigned{time.month},
                unsigned{time.day}, unsigned{time.hour}, unsigned{time.minute}, unsigned{time.second},
                unsigned{time.milliseconds});
  return buffer;
}

std::string SnapshotFileName(std::string_view ip, const CameraTime& time) {
  return "snapshot-" + std::string(ip) + "-" + FileTimeStamp(time) + ".jpg";
}

std::string ListenFileName(std::string_view ip, const CameraTime& time, std::uint64_t counter) {
  return std::string(ip) + "-" + FileTimeStamp(time) + "-" + std::to_string(counter) + ".jpg";
}

}  // namespace vktcli
