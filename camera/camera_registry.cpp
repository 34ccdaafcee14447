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
  for (const Entry& entry : cameras_) {
    if (entry.handle == handle) return entry.camera;
  }
  return nullptr;
}

std::shared_ptr<CameraContext> CameraRegistry::FindByAddress(uint32_t address) {
  std::shared_lock<std::shared_mutex> lock(listLock_);
  for (const Entry& entry : cameras_) {
    if (entry.address == address) return entry.camera;
  }
  return nullptr;
}

bool CameraRegistry::Contains(const CameraContext* context) {
  std::shared_lock<std::shared_mutex> lock(listLock_);
  return std::any_of(cameras_.begin(), cameras_.end(), [&](const Entry& e) { return e.camera.get() == context; });
}

std::shared_ptr<CameraContext> CameraRegistry::FindSameCamera(const DeviceRecord& record) {
  // The address as it is now (a network set, on any thread, may move it);
  // the MAC never changes.
  std::shared_lock<std::shared_mutex> lock(listLock_);
  for (const Entry& entry : cameras_) {
    if (entry.address == record.ipAddress &&
        std::memcmp(entry.camera->Record().macAddress, record.macAddress, sizeof record.macAddress) == 0) {
      return entry.camera;
    }
  }
  return nullptr;
}

void CameraRegistry::Add(std::shared_ptr<CameraContext> context) {
  std::unique_lock<std::shared_mutex> lock(listLock_);
  const int handle = context->Handle();
  const uint32_t address = context->CameraAddress();
  cameras_.push_back(Entry{handle, address, std::move(context)});
}

std::shared_ptr<CameraContext> CameraRegistry::Remove(int handle) {
  std::unique_lock<std::shared_mutex> lock(listLock_);
  auto it = std::find_if(cameras_.begin(), cameras_.end(), [&](const Entry& e) { return e.handle == handle; });
  if (it == cameras_.end()) return nullptr;
  auto removed = std::move(it->camera);
  cameras_.erase(it);
  return removed;
}

std::vector<std::shared_ptr<CameraContext>> CameraRegistry::RemoveAll() {
  std::vector<Entry> entries;
  {
    std::unique_lock<std::shared_mutex> lock(listLock_);
    entries.swap(cameras_);
  }
  std::vector<std::shared_ptr<CameraContext>> all;
  all.reserve(entries.size());
  for (Entry& entry : entries) all.push_back(std::move(entry.camera));
  return all;
}

void CameraRegistry::Readdress(CameraContext& context, uint32_t ipAddress, uint32_t addressWord1) {
  context.Readdress(ipAddress, addressWord1);
  std::unique_lock<std::shared_mutex> lock(listLock_);
  for (Entry& entry : cameras_) {
    if (entry.camera.get() == &context) entry.address = ipAddress;
  }
}

size_t CameraRegistry::Size() { return cameras_.size(); }

}  // namespace vkt
