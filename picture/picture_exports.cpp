// Snapshots.
#include "VKTNetSDK11.h"
#include "api/call_frame.h"

extern "C" VKT_API int VKT_SnapPicture(int camera, int value, unsigned int timeoutMs) {
  return vkt::RunCameraCall(camera, timeoutMs,
                            [&](vkt::CameraContext& c, uint32_t ms) { return c.Snap(value, ms); });
}
