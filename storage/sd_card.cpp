// SD card state, format and format progress: plain commands without payload.
#include <algorithm>
#include <cstring>

#include "api/last_error.h"
#include "camera/camera_context.h"
#include "storage/storage_commands.h"

namespace vkt {

int CameraContext::GetSDCardState(SDCardState* state, uint32_t ms) {
  if (state == nullptr) return Fail(err::kInvalidParam);
  std::lock_guard<std::recursive_mutex> lock(commandLock_);
  if (Exchange(Request{command::kSDCardState}, ms) != 0) return 1;
  // A short answer leaves the missing words zero, never bytes of an earlier
  // reply.
  SDCardState got{};
  std::memcpy(&got, ReplyPayload(), std::min<size_t>(replyHeader_.length, sizeof got));
  *state = got;
  return 0;
}

int CameraContext::FormatSDCard(uint32_t ms) { return Exchange(Request{command::kFormatSDCard}, ms); }

int CameraContext::GetFormatSDCardProgress(int* progress, uint32_t ms) {
  if (progress == nullptr) return Fail(err::kInvalidParam);
  std::lock_guard<std::recursive_mutex> lock(commandLock_);
  if (Exchange(Request{command::kFormatProgress}, ms) != 0) return 1;
  *progress = replyHeader_.value;
  return 0;
}

}  // namespace vkt
