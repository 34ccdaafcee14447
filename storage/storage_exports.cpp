// The SD card and its stored pictures.
#include "VKTNetSDK11.h"
#include "api/call_frame.h"

using vkt::CameraContext;
using vkt::RunCameraCall;

extern "C" VKT_API int VKT_GetSDCardState(int camera, SDCardState* state, unsigned int timeoutMs) {
  return RunCameraCall(camera, timeoutMs, [&](CameraContext& c, uint32_t ms) { return c.GetSDCardState(state, ms); });
}

extern "C" VKT_API int VKT_FormatSDCard(int camera, unsigned int timeoutMs) {
  return RunCameraCall(camera, timeoutMs, [&](CameraContext& c, uint32_t ms) { return c.FormatSDCard(ms); });
}

extern "C" VKT_API int VKT_GetFormatSDCardProgress(int camera, int* progress, unsigned int timeoutMs) {
  return RunCameraCall(camera, timeoutMs,
                       [&](CameraContext& c, uint32_t ms) { return c.GetFormatSDCardProgress(progress, ms); });
}

extern "C" VKT_API int VKT_GetDirectoryTree(int camera, DirectoryTree* tree, unsigned int timeoutMs) {
  return RunCameraCall(camera, timeoutMs, [&](CameraContext& c, uint32_t ms) { return c.GetDirectoryTree(tree, ms); });
}

extern "C" VKT_API int VKT_GetJPGPic(int camera, const void* name, char** picture, int* length,
                                     unsigned int timeoutMs) {
  return RunCameraCall(camera, timeoutMs,
                       [&](CameraContext& c, uint32_t ms) { return c.GetJPGPic(name, picture, length, ms); });
}

extern "C" VKT_API int VKT_DeleteJPGPic(int camera, const void* name, unsigned int timeoutMs) {
  return RunCameraCall(camera, timeoutMs, [&](CameraContext& c, uint32_t ms) { return c.DeleteJPGPic(name, ms); });
}
