// The calling thread's last-error code.
#pragma once

#include <cstdint>

namespace vkt {

// Stores `code` as the calling thread's last error.
void SetLastError(uint32_t code);
// The calling thread's last error.
uint32_t LastError();

// Stores `code` as the last error and returns 1, what most calls return on
// failure.
inline int Fail(uint32_t code) {
  SetLastError(code);
  return 1;
}

// Error codes as unsigned values, for the library's own use.
namespace err {
inline constexpr uint32_t kOk = 0;
inline constexpr uint32_t kNotStarted = 0xFFFFFFFFu;
inline constexpr uint32_t kGeneral = 0x80000001u;
inline constexpr uint32_t kInvalidHandle = 0x80000002u;
inline constexpr uint32_t kCameraRefused = 0x80000004u;
inline constexpr uint32_t kReplyMismatch = 0x80000005u;
inline constexpr uint32_t kInvalidParam = 0x80000006u;
inline constexpr uint32_t kCameraNotFound = 0x80000007u;
inline constexpr uint32_t kNetwork = 0x80000100u;
inline constexpr uint32_t kTimeout = 0x80000101u;
inline constexpr uint32_t kCameraBusy = 0x80000200u;
inline constexpr uint32_t kNoVideoStream = 0x80000202u;
inline constexpr uint32_t kNotSupported = 0x80000203u;
inline constexpr uint32_t kReplyOutOfRange = 0x80000204u;
inline constexpr uint32_t kSavePending = 0x80000300u;
inline constexpr uint32_t kSaveFailed = 0x80000301u;
inline constexpr uint32_t kSnapNotSent = 0x80000400u;
inline constexpr uint32_t kSnapNoReply = 0x80000401u;
inline constexpr uint32_t kSnapRefused = 0x80000402u;
inline constexpr uint32_t kNoPictureCallback = 0x80000403u;
inline constexpr uint32_t kNtpFailed = 0x80000500u;
inline constexpr uint32_t kNtpTimeout = 0x80000501u;
inline constexpr uint32_t kNoFreeStream = 0x80000800u;
inline constexpr uint32_t kContextCreation = 0x80001000u;
}  // namespace err

}  // namespace vkt
