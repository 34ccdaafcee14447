// What goes on the wire for one frame once the stream faults are applied:
// the frame's packets in sending order (reordered, dropped, doubled) and
// the junk around them, each with the socket it leaves from.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "emulator.h"
#include "stream_random.h"

namespace vktemu {

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
