#include "camera.h"

namespace vktemu {

Camera::Camera(const CameraConfig& config, int cameraId)
    : id(cameraId), sdCard(cameraId), config_(config), model_(factorySettings(config)) {}

CameraConfig Camera::config() const {
  std::lock_guard lock(mutex_);
  return config_;
}

wire::Ipv4 Camera::address() const {
  std::lock_guard lock(mutex_);
  return wire::parseIpv4(config_.address).value_or(wire::Ipv4{});
}

uint16_t Camera::commandPort() const {
  std::lock_guard lock(mutex_);
  return config_.commandPort;
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
  model_.setRecord(wire::command::kNetwork, networkRecord(address, word1, word2));
}

void Camera::setCommandFaults(int32_t command, const CommandFaults& faults) {
  std::lock_guard lock(mutex_);
  commandFaults_[command] = faults;
}

void Camera::clearCommandFaults() {
  std::lock_guard lock(mutex_);
  commandFaults_.clear();
}

std::optional<CommandFaults> Camera::commandFaults(int32_t command) const {
  std::lock_guard lock(mutex_);
  const auto found = commandFaults_.find(command);
  if (found == commandFaults_.end()) return std::nullopt;
  return found->second;
}

std::optional<CommandFaults> Camera::effectiveCommandFaults(int32_t command) const {
  auto faults = commandFaults(command);
  return faults ? faults : commandFaults(0);
}

bool Camera::refusedByFault(int32_t command) const {
  const auto faults = effectiveCommandFaults(command);
  return faults && faults->status && *faults->status < 0;
}

int CameraRegistry::add(const CameraConfig& config) {
  std::lock_guard lock(mutex_);
  const int id = static_cast<int>(cameras_.size());
  cameras_.push_back(std::make_shared<Camera>(config, id));
  return id;
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
