// Starting and stopping a camera's video stream.
#include "VKTNetSDK11.h"
#include "api/call_frame.h"
#include "stream/recv_stream_thread.h"

extern "C" VKT_API int VKT_StartStream(int camera, StreamCallback callback, int user, unsigned int timeoutMs) {
  return vkt::RunCameraCall(camera, timeoutMs, [&](vkt::CameraContext& c, uint32_t ms) {
    // From inside this camera's own stream callback a start or stop would
    // wait for that very callback.
    if (vkt::t_streamCallbackCamera == &c) {
      vkt::SetLastError(vkt::err::kGeneral);
      return 1;
    }
    return c.SetStreamCallback(callback, user, ms);
  });
}
