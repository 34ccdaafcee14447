#include "camera/camera_registry.h"

#include <algorithm>
#include <cstring>

#include "camera/camera_context.h"

namespace vkt {

int CameraRegistry::NewHandle() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  uint32_t handle;
  do {
    handle = nextHandle_++;
  } while (handle == 0 || handle == 1 || handle == 0xFFFFFFFFu);
  return static_cast<int>(handle);
}

std::shared_ptr<CameraContext> CameraRegistry::Find(int handle) {
  std::shared_lock<std::shared_mutex> lock(listLock_);
  for (const auto& camera : cameras_) {
    if (camera->Handle() == handle) return camera;
  }
  return nullptr;
}

std::shared_ptr<CameraContext> CameraRegistry::FindByAddress(uint32_t address) {
  std::shared_lock<std::shared_mutex> lock(listLock_);
  for (const auto& camera : cameras_) {
    if (camera->CameraAddress() == address) return camera;
  }
  return nullptr;
}

bool CameraRegistry::Contains(const CameraContext* context) {
  std::shared_lock<std::shared_mutex> lock(listLock_);
  return std::any_of(cameras_.begin(), cameras_.end(), [&](const auto& c) { return c.get() == context; });
}

std::shared_ptr<CameraContext> CameraRegistry::FindSameCamera(const DeviceRecord& record) {
  for (const auto& camera : cameras_) {
    // The address as it is now (a network set may have changed it); the MAC
    // never changes.
    const DeviceRecord& r = camera->Record();
    if (camera->CameraAddress() == record.ipAddress &&
        std::memcmp(r.macAddress, record.macAddress, sizeof r.macAddress) == 0) {
      return camera;
    }
  }
  return nullptr;
}

void CameraRegistry::Add(std::shared_ptr<CameraContext> context) {
  std::unique_lock<std::shared_mutex> lock(listLock_);
  cameras_.push_back(std::move(context));
}

std::shared_ptr<CameraContext> CameraRegistry::Remove(int handle) {
  std::unique_lock<std::shared_mutex> lock(listLock_);
  auto it = std::find_if(cameras_.begin(), cameras_.end(), [&](const auto& c) { return c->Handle() == handle; });
  if (it == cameras_.end()) return nullptr;
  auto removed = std::move(*it);
  cameras_.erase(it);
  return removed;
}

std::vector<std::shared_ptr<CameraContext>> CameraRegistry::RemoveAll() {
  std::vector<std::shared_ptr<CameraContext>> all;
  std::unique_lock<std::shared_mutex> lock(listLock_);
  all.swap(cameras_);
  return all;
}

size_t CameraRegistry::Size() { return cameras_.size(); }

}  // namespace vkt
