#include "error_names.h"

#include <array>
#include <cstdint>
#include <cstdio>

#include "VKTNetSDK11.h"

namespace vkttools {
namespace {

// The stringised macro name keeps the name and the code from drifting apart.
#define VKT_ERROR_ENTRY(code, text) ErrorName{code, #code, text}

constexpr std::array kErrorNames{
    VKT_ERROR_ENTRY(VKT_OK, "success"),
    VKT_ERROR_ENTRY(VKT_ERR_NOT_STARTED, "library not started"),
    VKT_ERROR_ENTRY(VKT_ERR_GENERAL, "stream receiver could not be set up"),
    VKT_ERROR_ENTRY(VKT_ERR_INVALID_HANDLE, "no camera registered under this handle"),
    VKT_ERROR_ENTRY(VKT_ERR_CAMERA_REFUSED, "camera refused the request"),
    VKT_ERROR_ENTRY(VKT_ERR_REPLY_MISMATCH, "reply does not match the request"),
    VKT_ERROR_ENTRY(VKT_ERR_INVALID_PARAM, "invalid parameter"),
    VKT_ERROR_ENTRY(VKT_ERR_CAMERA_NOT_FOUND, "camera not found"),
    VKT_ERROR_ENTRY(VKT_ERR_NETWORK, "network error"),
    VKT_ERROR_ENTRY(VKT_ERR_TIMEOUT, "time-out"),
    VKT_ERROR_ENTRY(VKT_ERR_CAMERA_BUSY, "camera busy"),
    VKT_ERROR_ENTRY(VKT_ERR_NO_VIDEO_STREAM, "camera model has no video stream"),
    VKT_ERROR_ENTRY(VKT_ERR_NOT_SUPPORTED, "not supported by the camera model"),
    VKT_ERROR_ENTRY(VKT_ERR_REPLY_OUT_OF_RANGE, "reply value out of range"),
    VKT_ERROR_ENTRY(VKT_ERR_SAVE_PENDING, "configuration save not completed yet"),
    VKT_ERROR_ENTRY(VKT_ERR_SAVE_FAILED, "configuration save failed"),
    VKT_ERROR_ENTRY(VKT_ERR_SNAP_NOT_SENT, "snapshot request could not be sent"),
    VKT_ERROR_ENTRY(VKT_ERR_SNAP_NO_REPLY, "no snapshot reply"),
    VKT_ERROR_ENTRY(VKT_ERR_SNAP_REFUSED, "snapshot refused by the camera"),
    VKT_ERROR_ENTRY(VKT_ERR_NO_PICTURE_CALLBACK, "camera has no picture callback"),
    VKT_ERROR_ENTRY(VKT_ERR_NTP_FAILED, "NTP synchronisation failed"),
    VKT_ERROR_ENTRY(VKT_ERR_NTP_TIMEOUT, "NTP synchronisation not confirmed in time"),
    VKT_ERROR_ENTRY(VKT_ERR_NO_FREE_STREAM, "all stream receivers are in use"),
    VKT_ERROR_ENTRY(VKT_ERR_CONTEXT_CREATION, "camera context could not be created"),
};

#undef VKT_ERROR_ENTRY

// A copy-paste slip (two entries with one code) would make FindErrorName
// silently answer with the wrong name.
consteval bool CodesAreUnique() {
  for (std::size_t i = 0; i < kErrorNames.size(); ++i) {
    for (std::size_t j = i + 1; j < kErrorNames.size(); ++j) {
      if (kErrorNames[i].code == kErrorNames[j].code) return false;
    }
  }
  return true;
}
static_assert(CodesAreUnique(), "two error table entries share a code");

std::string Hex32(int code) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(static_cast<std::uint32_t>(code)));
  return buffer;
}

}  // namespace

const ErrorName* FindErrorName(int code) {
  for (const ErrorName& entry : kErrorNames) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

std::string DescribeError(int code) {
  const ErrorName* entry = FindErrorName(code);
  if (entry == nullptr) return "unknown error (" + Hex32(code) + ")";
  return std::string(entry->name) + " (" + Hex32(code) + "): " + entry->text;
}

std::span<const ErrorName> AllErrorNames() { return kErrorNames; }

}  // namespace vkttools
