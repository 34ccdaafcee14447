#include "camera.h"

#include <algorithm>

#include "command_wire.h"
#include "factory_settings.h"

namespace vktemu {

Camera::Camera(const CameraConfig& config)
    : config_(config), replyVersion_(wire::kProtocolVersion), model_(factorySettings(config)) {}

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

DiscoveryFaults Camera::discoveryFaults() const {
  std::lock_guard lock(mutex_);
  return discoveryFaults_;
}

void Camera::setDiscoveryFaults(const DiscoveryFaults& faults) {
  std::lock_guard lock(mutex_);
  discoveryFaults_ = faults;
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
  std::lock_guard lock(mutex_);
  auto found = commandFaults_.find(command);
  if (found == commandFaults_.end()) found = commandFaults_.find(0);
  if (found == commandFaults_.end()) return std::nullopt;
  return found->second;
}

int32_t Camera::replyVersion() const {
  std::lock_guard lock(mutex_);
  return replyVersion_;
}

void Camera::setReplyVersion(int32_t version) {
  std::lock_guard lock(mutex_);
  replyVersion_ = version;
}

PushTarget Camera::pushTarget() const {
  std::lock_guard lock(mutex_);
  return pushTarget_;
}

void Camera::setPushTarget(const PushTarget& target) {
  std::lock_guard lock(mutex_);
  pushTarget_ = target;
}

PushTarget Camera::streamTarget() const {
  std::lock_guard lock(mutex_);
  return streamTarget_;
}

void Camera::setStreamTarget(const PushTarget& target) {
  {
    std::lock_guard lock(mutex_);
    streamTarget_ = target;
  }
  streamState_.touch();
}

PushFaults Camera::pushFaults() const {
  std::lock_guard lock(mutex_);
  return pushFaults_;
}

void Camera::setPushFaults(const PushFaults& faults) {
  std::lock_guard lock(mutex_);
  pushFaults_ = faults;
}

PictureFormat Camera::pictureFormat() const {
  std::lock_guard lock(mutex_);
  return pictureFormat_;
}

void Camera::setPictureFormat(const PictureFormat& format) {
  std::lock_guard lock(mutex_);
  pictureFormat_.width = std::clamp(format.width, 8, 4096);
  pictureFormat_.height = std::clamp(format.height, 8, 4096);
  pictureFormat_.quality = std::clamp(format.quality, 1, 100);
}

}  // namespace vktemu
