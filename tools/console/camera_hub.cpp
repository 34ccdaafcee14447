#include "camera_hub.h"

#include <algorithm>
#include <cstring>

#include "camera_search.h"
#include "format.h"

namespace vktconsole {

namespace {

bool SameMac(const DeviceRecord& a, const DeviceRecord& b) {
  return std::memcmp(a.macAddress, b.macAddress, sizeof a.macAddress) == 0;
}

}  // namespace

CameraHub::CameraHub(PictureCallback callback) : callback_(callback) {}

CameraHub::~CameraHub() {
  std::lock_guard lock(mutex_);
  for (const KnownCamera& camera : cameras_) {
    if (camera.handle != -1) VKT_DelCamera(camera.handle);
  }
}

void CameraHub::Remember(KnownCamera camera) {
  const auto same = std::find_if(cameras_.begin(), cameras_.end(),
                                 [&](const KnownCamera& known) { return SameMac(known.record, camera.record); });
  if (same == cameras_.end()) {
    cameras_.push_back(std::move(camera));
    return;
  }
  // The library gives the same handle to the same address and MAC; a camera
  // that moved gets a new one, and the old handle would only fail.
  if (same->handle != -1 && same->handle != camera.handle) VKT_DelCamera(same->handle);
  *same = std::move(camera);
}

SearchResult CameraHub::Search(unsigned timeoutMs, unsigned addTimeoutMs) {
  std::lock_guard searching(searchMutex_);
  SearchResult result;
  const vktcli::SearchOutcome outcome = vktcli::SearchCameras(timeoutMs);
  if (!outcome.ok) {
    result.error = outcome.error;
    result.cameras = Cameras();
    return result;
  }
  const std::vector<std::string> interfaces = vktcli::SearchInterfaces(outcome.cameras);
  std::vector<KnownCamera> found;
  for (std::size_t i = 0; i < outcome.cameras.size(); ++i) {
    KnownCamera camera;
    camera.record = outcome.cameras[i];
    camera.interface = i < interfaces.size() ? interfaces[i] : "";
    camera.inLastSearch = true;
    camera.handle = VKT_AddCamera(&camera.record, callback_, addTimeoutMs);
    if (camera.handle == -1 || camera.handle == 1) {
      camera.addError = VKT_GetLastError();
      camera.handle = -1;
    }
    found.push_back(std::move(camera));
  }
  std::lock_guard lock(mutex_);
  for (KnownCamera& camera : cameras_) camera.inLastSearch = false;
  for (KnownCamera& camera : found) Remember(std::move(camera));
  result.cameras = cameras_;
  return result;
}

AddResult CameraHub::AddByAddress(const std::string& ip, unsigned timeoutMs) {
  std::lock_guard searching(searchMutex_);
  AddResult result;
  const int handle = VKT_AddCamera_IP(ip.c_str(), callback_, timeoutMs);
  if (handle == -1 || handle == 1) {
    result.error = VKT_GetLastError();
    return result;
  }
  // The add searched: its result holds the camera's record.
  const vktcli::SearchOutcome stored = vktcli::FetchStoredCameras();
  KnownCamera camera;
  camera.handle = handle;
  camera.inLastSearch = true;
  for (const DeviceRecord& record : stored.cameras) {
    if (vktcli::FormatIPv4(record.ipAddress) == ip) camera.record = record;
  }
  const std::vector<std::string> interfaces = vktcli::SearchInterfaces(std::span(&camera.record, 1));
  if (!interfaces.empty()) camera.interface = interfaces.front();
  std::lock_guard lock(mutex_);
  Remember(camera);
  result.camera = camera;
  return result;
}

std::vector<KnownCamera> CameraHub::Cameras() const {
  std::lock_guard lock(mutex_);
  return cameras_;
}

std::optional<KnownCamera> CameraHub::Find(int handle) const {
  if (handle == -1) return std::nullopt;
  std::lock_guard lock(mutex_);
  for (const KnownCamera& camera : cameras_) {
    if (camera.handle == handle) return camera;
  }
  return std::nullopt;
}

std::string CameraHub::AddressOf(int handle) const {
  const auto camera = Find(handle);
  return camera ? vktcli::FormatIPv4(camera->record.ipAddress) : std::string();
}

std::shared_ptr<std::mutex> CameraHub::CardLock(int handle) {
  std::lock_guard lock(mutex_);
  auto& slot = cardLocks_[handle];
  if (!slot) slot = std::make_shared<std::mutex>();
  return slot;
}

}  // namespace vktconsole
