// What the library knows of the cameras' side of the wire, in one place:
// the command codes, the picture port, and the models with what each does
// differently. The settings' own codes are in settings/settings_list.h.
// The emulator keeps a copy of its own on purpose (it is the other side of
// the wire and must not share this side's mistakes); a test checks that the
// two agree.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace vkt {

namespace command {
// The channel itself.
inline constexpr int32_t kSaveConfig = 100;  // two replies
inline constexpr int32_t kNtpTiming = 101;   // two replies
inline constexpr int32_t kSnapshot = 102;
inline constexpr int32_t kRestart = 103;       // VKT_ResetCamera mode 0
inline constexpr int32_t kFactoryReset = 104;  // VKT_ResetCamera mode 1
inline constexpr int32_t kState = 1300;
inline constexpr int32_t kPushTarget = 1080;
inline constexpr int32_t kStreamTarget = 1081;
inline constexpr int32_t kStreamMode = 501;
// The camera clock.
inline constexpr int32_t kGetClock = 1070;
inline constexpr int32_t kSetClock = 1071;
// The combined flash lamp and trigger input record.
inline constexpr int32_t kGetTriggFlash = 1028;
inline constexpr int32_t kSetTriggFlash = 1029;
inline constexpr int32_t kGetDefaultTriggFlash = 1030;
// The SD card and its stored pictures.
inline constexpr int32_t kSDCardState = 1200;
inline constexpr int32_t kFormatSDCard = 1205;
inline constexpr int32_t kFormatProgress = 1206;
inline constexpr int32_t kDirectoryTree = 1210;
inline constexpr int32_t kGetJPGPic = 1216;
inline constexpr int32_t kDeleteJPGPic = 1217;
}  // namespace command

// Values of the stream mode command.
inline constexpr int32_t kStreamModeStart = 5;
inline constexpr int32_t kStreamModeStop = 1;

// Reply statuses with a meaning of their own.
inline constexpr int32_t kStatusSaveCompleted = 11;

// TCP, the pictures cameras push to the host. (The search's port and
// datagrams are in discovery/discovery_wire.h.)
inline constexpr uint16_t kPicturePort = 34660;

// How a model's video stream is switched on and off.
enum class StreamStart {
  kNone,           // no stream at all
  kTargetOnly,     // sends as soon as it knows the target
  kModeCommand,    // needs the mode command; its failure fails the start
  kModeBestEffort  // gets the mode command; its failure does not matter
};

struct ModelTraits {
  std::string_view name;  // exactly as in DeviceRecord::modelName
  bool accepted;          // VKT_AddCamera drives it
  StreamStart stream;
  bool regionSettings;  // has the hot-region and stream-picture-type settings
};

inline constexpr std::array<ModelTraits, 11> kModels{{
    {"VKT-R8E0Kp", false, StreamStart::kNone, false},
    {"VKT-R8E0Kq", true, StreamStart::kModeBestEffort, false},
    {"VKT-R6E0Kp", true, StreamStart::kModeBestEffort, false},
    {"VKT-R6E0Kq", true, StreamStart::kModeBestEffort, false},
    {"VKT-N7F0Kp", false, StreamStart::kNone, false},
    {"VKT-N7F0Kq", false, StreamStart::kNone, false},
    {"VKT-N9G6Kp", false, StreamStart::kTargetOnly, false},
    {"VKT-N9G6Kq", false, StreamStart::kModeCommand, false},
    {"VKT-N2F0Kw", false, StreamStart::kTargetOnly, false},
    {"VKT-N2F0Kp", true, StreamStart::kTargetOnly, true},
    {"VKT-N2F0Kq", true, StreamStart::kModeCommand, false},
}};

// A model name field is compared over at most this many bytes.
inline constexpr size_t kModelNameCompared = 32;

// The traits of the model named in `field` (at least kModelNameCompared
// bytes, compared as text), or of no model at all.
inline const ModelTraits& ModelOf(const char* field) {
  static constexpr ModelTraits kUnknown{"", false, StreamStart::kNone, false};
  const size_t length = ::strnlen(field, kModelNameCompared);
  for (const ModelTraits& model : kModels) {
    if (std::string_view(field, length) == model.name) return model;
  }
  return kUnknown;
}

}  // namespace vkt
