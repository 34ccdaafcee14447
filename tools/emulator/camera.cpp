#include "camera.h"

namespace vktemu {

Camera::Camera(const CameraConfig& config) : config_(config) {}

CameraConfig Camera::config() const {
  std::lock_guard lock(mutex_);
  return config_;
}

wire::Ipv4 Camera::address() const {
  std::lock_guard lock(mutex_);
  return wire::parseIpv4(config_.address).value_or(wire::Ipv4{});
}

bool Camera::hasMac(const Mac& mac) const {
  std::lock_guard lock(mutex_);
  return config_.mac == mac;
}

void Camera::takeAddress(const wire::Ipv4& address, uint32_t word1, uint32_t word2) {
  std::lock_guard lock(mutex_);
  config_.address = wire::formatIpv4(address);
  config_.addressWord1 = word1;
  config_.addressWord2 = word2;
}

DiscoveryFaults Camera::discoveryFaults() const {
  std::lock_guard lock(mutex_);
  return discoveryFaults_;
}

void Camera::setDiscoveryFaults(const DiscoveryFaults& faults) {
  std::lock_guard lock(mutex_);
  discoveryFaults_ = faults;
}

}  // namespace vktemu
