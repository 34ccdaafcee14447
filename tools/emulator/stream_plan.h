// What goes on the wire for one frame once the stream faults are applied:
// the frame's packets in sending order (reordered, dropped, doubled) and
// the junk around them, each with the socket it leaves from. The faults'
// dice are a small generator (splitmix64) whose sequence depends only on its
// seed, so a lossy run can be repeated exactly.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "emulator.h"

namespace vktemu {

class StreamRandom {
 public:
  explicit StreamRandom(uint64_t seed = 1) : state_(seed) {}
  void reseed(uint64_t seed) { state_ = seed; }

  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // True with this probability (0..1).
  bool chance(double probability) {
    if (probability <= 0) return false;
    return static_cast<double>(next() >> 11) * 0x1.0p-53 < probability;
  }

 private:
  uint64_t state_;
};

enum class StreamRoute {
  kCamera,           // the camera's stream socket
  kCameraOtherPort,  // a second socket on the camera's address
  kForeign,          // 127.0.0.250, a host that is not the camera
};

struct PlannedDatagram {
  StreamRoute route = StreamRoute::kCamera;
  // Packet `packet` of the frame, cut only when it is sent (a padded frame
  // has thousands); junk has its own bytes instead.
  uint32_t packet = 0;
  std::vector<uint8_t> junk;
};

std::vector<PlannedDatagram> planFrame(std::span<const uint8_t> frame, const StreamFaults& faults,
                                       StreamRandom& random);

}  // namespace vktemu
