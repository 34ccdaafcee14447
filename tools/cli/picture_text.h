// Pictures as vktcli shows and names them: a snapshot and its PictureInfo
// as text or JSON, and the file names of snap and listen. Pure functions.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "VKTNetSDK11.h"

namespace vktcli {

// The two record words a short picture record lacks read -1: shown as
// "absent" (text) and null (JSON).
bool IsAbsentRecordWord(std::int32_t word);

// One "name: value" line per item: the file, size, camera, time, the record
// words, value. Ends with a newline.
std::string FormatSnapshotText(std::string_view file, const PictureInfo& info, int value, std::size_t size);

// The same as one JSON object on one line, time as text. Ends with a newline.
std::string FormatSnapshotJson(std::string_view file, const PictureInfo& info, int value, std::size_t size);

// Whether `time` is a real date and time of day (dayOfWeek is not looked at).
bool IsValidCameraTime(const CameraTime& time);

// The host's local time at `instant`, as cameras stamp their pictures.
CameraTime LocalCameraTime(std::chrono::system_clock::time_point instant);

// The time a picture's file is named after: its camera time stamp, or the
// host's local time of arrival when the camera sent no valid one.
CameraTime PictureNameTime(const CameraTime& stamp, std::chrono::system_clock::time_point arrival);

// "20261208-223000-123"
std::string FileTimeStamp(const CameraTime& time);

// "snapshot-192.168.1.10-20261208-223000-123.jpg"
std::string SnapshotFileName(std::string_view ip, const CameraTime& time);

// "192.168.1.10-20261208-223000-123-42.jpg"
std::string ListenFileName(std::string_view ip, const CameraTime& time, std::uint64_t counter);

}  // namespace vktcli
