// The frame every exported camera call runs: the start check, the last
// error reset, the handle look-up and the time budget.
#pragma once

#include <cstdint>
#include <memory>

#include "api/clock.h"
#include "api/entry.h"
#include "camera/camera_context.h"

namespace vkt {

// Runs `operation(camera, msLeft)` on the camera of `handle` and returns its
// result, or 1 with the frame's own error. The camera stays alive until the
// operation returns, even if it is deleted meanwhile. The registry lock is
// held only for the look-up, and a time-out already spent by then (0
// included) fails before anything is sent.
template <typename Operation>
int RunCameraCall(int handle, unsigned int timeoutMs, Operation&& operation) {
  if (!EnterCheckedCall()) return 1;
  Stopwatch start;
  std::shared_ptr<CameraContext> camera = Library::Instance().Registry().Find(handle);
  if (!camera) {
    SetLastError(err::kInvalidHandle);
    return 1;
  }
  const uint64_t elapsed = start.ElapsedMs();
  if (timeoutMs <= elapsed) {
    SetLastError(err::kTimeout);
    return 1;
  }
  return operation(*camera, static_cast<uint32_t>(timeoutMs - elapsed));
}

}  // namespace vkt
