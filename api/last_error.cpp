#include "api/last_error.h"

#include "VKTNetSDK11.h"

namespace vkt {
namespace {
// Plain thread-local storage: every thread, including threads that existed
// before the library was loaded, starts with 0.
thread_local uint32_t t_lastError = 0;
}  // namespace

void SetLastError(uint32_t code) { t_lastError = code; }
uint32_t LastError() { return t_lastError; }

// The public names and the internal constants must never drift apart.
static_assert(static_cast<uint32_t>(VKT_ERR_NOT_STARTED) == err::kNotStarted);
static_assert(static_cast<uint32_t>(VKT_ERR_GENERAL) == err::kGeneral);
static_assert(static_cast<uint32_t>(VKT_ERR_INVALID_HANDLE) == err::kInvalidHandle);
static_assert(static_cast<uint32_t>(VKT_ERR_CAMERA_REFUSED) == err::kCameraRefused);
static_assert(static_cast<uint32_t>(VKT_ERR_REPLY_MISMATCH) == err::kReplyMismatch);
static_assert(static_cast<uint32_t>(VKT_ERR_INVALID_PARAM) == err::kInvalidParam);
static_assert(static_cast<uint32_t>(VKT_ERR_CAMERA_NOT_FOUND) == err::kCameraNotFound);
static_assert(static_cast<uint32_t>(VKT_ERR_NETWORK) == err::kNetwork);
static_assert(static_cast<uint32_t>(VKT_ERR_TIMEOUT) == err::kTimeout);
static_assert(static_cast<uint32_t>(VKT_ERR_CAMERA_BUSY) == err::kCameraBusy);
static_assert(static_cast<uint32_t>(VKT_ERR_NO_VIDEO_STREAM) == err::kNoVideoStream);
static_assert(static_cast<uint32_t>(VKT_ERR_NOT_SUPPORTED) == err::kNotSupported);
static_assert(static_cast<uint32_t>(VKT_ERR_REPLY_OUT_OF_RANGE) == err::kReplyOutOfRange);
static_assert(static_cast<uint32_t>(VKT_ERR_SAVE_PENDING) == err::kSavePending);
static_assert(static_cast<uint32_t>(VKT_ERR_SAVE_FAILED) == err::kSaveFailed);
static_assert(static_cast<uint32_t>(VKT_ERR_SNAP_NOT_SENT) == err::kSnapNotSent);
static_assert(static_cast<uint32_t>(VKT_ERR_SNAP_NO_REPLY) == err::kSnapNoReply);
static_assert(static_cast<uint32_t>(VKT_ERR_SNAP_REFUSED) == err::kSnapRefused);
static_assert(static_cast<uint32_t>(VKT_ERR_NO_PICTURE_CALLBACK) == err::kNoPictureCallback);
static_assert(static_cast<uint32_t>(VKT_ERR_NTP_FAILED) == err::kNtpFailed);
static_assert(static_cast<uint32_t>(VKT_ERR_NTP_TIMEOUT) == err::kNtpTimeout);
static_assert(static_cast<uint32_t>(VKT_ERR_NO_FREE_STREAM) == err::kNoFreeStream);
static_assert(static_cast<uint32_t>(VKT_ERR_CONTEXT_CREATION) == err::kContextCreation);

}  // namespace vkt

extern "C" VKT_API int VKT_GetLastError(void) { return static_cast<int>(vkt::LastError()); }
