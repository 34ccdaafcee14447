#include "camera_registry.h"

namespace vktemu {

int CameraRegistry::add(const CameraConfig& config) {
  auto camera = std::make_shared<Camera>(config);
  std::lock_guard lock(mutex_);
  cameras_.push_back(std::move(camera));
  return static_cast<int>(cameras_.size() - 1);
}

std::shared_ptr<Camera> CameraRegistry::find(int id) const {
  std::lock_guard lock(mutex_);
  if (id < 0 || static_cast<size_t>(id) >= cameras_.size()) return nullptr;
  return cameras_[static_cast<size_t>(id)];
}

std::vector<std::shared_ptr<Camera>> CameraRegistry::all() const {
  std::lock_guard lock(mutex_);
  return cameras_;
}

size_t CameraRegistry::size() const {
  std::lock_guard lock(mutex_);
  return cameras_.size();
}

}  // namespace vktemu
