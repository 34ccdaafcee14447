// Adding and deleting cameras.
#include <arpa/inet.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "VKTNetSDK11.h"
#include "api/entry.h"
#include "api/library_thread.h"
#include "camera/camera_context.h"
#include "camera/camera_registry.h"
#include "discovery/search.h"
#include "stream/recv_stream_thread.h"

namespace vkt {
namespace {

bool ModelAccepted(const DeviceRecord& record) { return ModelOf(record.modelName).accepted; }

int AddCamera(const DeviceRecord* record, PictureCallback callback, unsigned int timeoutMs) {
  if (record == nullptr) {
    SetLastError(err::kInvalidParam);
    return -1;
  }
  if (!ModelAccepted(*record)) {
    SetLastError(err::kNotSupported);
    return -1;
  }
  CameraRegistry& registry = Library::Instance().Registry();
  std::lock_guard<std::recursive_mutex> lock(registry.Lock());
  if (auto existing = registry.FindSameCamera(*record)) {
    // The same camera again: one context, the new callback if any.
    (void)existing->SetPictureCallback(callback, timeoutMs);
    return existing->Handle();
  }
  std::shared_ptr<CameraContext> camera;
  try {
    camera = std::make_shared<CameraContext>(*record, registry.NewHandle());
  } catch (const std::bad_alloc&) {
    SetLastError(err::kContextCreation);
    return -1;
  }
  if (camera->SetPictureCallback(callback, timeoutMs) != 0) {
    SetLastError(err::kNetwork);
    return -1;
  }
  registry.Add(camera);
  return camera->Handle();
}

}  // namespace
}  // namespace vkt

extern "C" VKT_API int VKT_AddCamera(const DeviceRecord* record, PictureCallback callback, unsigned int timeoutMs) {
  if (!vkt::EnterCheckedCall()) return 1;
  return vkt::AddCamera(record, callback, timeoutMs);
}

extern "C" VKT_API int VKT_AddCamera_IP(const char* address, PictureCallback callback, unsigned int timeoutMs) {
  vkt::SilenceAceLoggingOnce();
  if (!vkt::Library::Instance().Started()) {
    vkt::SetLastError(vkt::err::kNotStarted);
    return -1;
  }
  if (address == nullptr) {
    vkt::SetLastError(vkt::err::kInvalidParam);
    return -1;
  }
  std::vector<DeviceRecord> found;
  if (vkt::discovery::SearchAndCopy(timeoutMs, found) != 0) return -1;
  for (const DeviceRecord& record : found) {
    in_addr a{record.ipAddress};
    char text[INET_ADDRSTRLEN];
    if (inet_ntop(AF_INET, &a, text, sizeof text) != nullptr && std::strcmp(text, address) == 0) {
      return VKT_AddCamera(&record, callback, timeoutMs);
    }
  }
  vkt::SetLastError(vkt::err::kCameraNotFound);
  return -1;
}

extern "C" VKT_API int VKT_DelCamera(int handle) {
  if (!vkt::EnterCheckedCall()) return 1;
  vkt::CameraRegistry& registry = vkt::Library::Instance().Registry();
  std::shared_ptr<vkt::CameraContext> removed = registry.Find(handle);
  if (!removed) {
    vkt::SetLastError(vkt::err::kInvalidHandle);
    return 1;
  }
  // From inside this camera's own stream callback the stream stop would
  // wait for that very callback.
  if (vkt::t_streamCallbackCamera == removed.get()) {
    vkt::SetLastError(vkt::err::kGeneral);
    return 1;
  }
  {
    std::lock_guard<std::recursive_mutex> lock(registry.Lock());
    // Stopped before it leaves the registry: once it is gone, no picture of
    // it reaches its callback.
    removed->StopDeliveries();
    if (!registry.Remove(handle)) {
      vkt::SetLastError(vkt::err::kInvalidHandle);  // deleted meanwhile by another thread
      return 1;
    }
  }
  // No longer found by new calls; its stream stops now, and the context goes
  // when its last user lets go of it.
  removed->StopStreamForDeletion();
  // No picture callback of the camera starts from now on, and those running
  // now finish before this returns. Not waited for from inside a callback:
  // two callbacks deleting each other's camera would wait for each other.
  if (!vkt::OnLibraryThread()) removed->WaitForDeliveries();
  return 0;
}
