// The emulated cameras, by id. Cameras may be added while responders run, so
// responders take a snapshot per datagram instead of holding the lock.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "camera.h"

namespace vktemu {

class CameraRegistry {
 public:
  int add(const CameraConfig& config);          // returns the new id
  std::shared_ptr<Camera> find(int id) const;   // nullptr for an unknown id
  std::vector<std::shared_ptr<Camera>> all() const;
  size_t size() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<Camera>> cameras_;
};

}  // namespace vktemu
