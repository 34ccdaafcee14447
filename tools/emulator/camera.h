// One emulated camera: its identity, its current network settings and the
// faults a test asked it to show. Subsystem responders read and change it
// from their own threads, so every access goes through the lock.
#pragma once

#include <mutex>

#include "emulator.h"
#include "wire.h"

namespace vktemu {

class Camera {
 public:
  explicit Camera(const CameraConfig& config);

  CameraConfig config() const;
  wire::Ipv4 address() const;  // 0.0.0.0 when the configured text is not dotted IPv4
  bool hasMac(const Mac& mac) const;

  // A change-IP request addressed to this camera: the new address and the
  // two address words replace the current ones.
  void takeAddress(const wire::Ipv4& address, uint32_t word1, uint32_t word2);

  DiscoveryFaults discoveryFaults() const;
  void setDiscoveryFaults(const DiscoveryFaults& faults);

 private:
  mutable std::mutex mutex_;
  CameraConfig config_;
  DiscoveryFaults discoveryFaults_;
};

}  // namespace vktemu
