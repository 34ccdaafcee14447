// Turns a handler's reply into the bytes that go back on the connection,
// with the camera's faults for that command applied: when each part is due,
// what its header says, and whether the connection closes after it.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "camera.h"
#include "command_handlers.h"

namespace vktemu {

struct PlannedReply {
  std::chrono::milliseconds delay{0};  // after the request arrived
  std::vector<uint8_t> bytes;
  bool closeAfter = false;  // close the connection once these bytes are sent
  bool reportsDone = false;  // the completion of the work, with a status that is not a failure
};

// In the order they are due; empty when the camera does not answer.
std::vector<PlannedReply> planReplies(const Camera& camera, const Request& request, const Reply& reply);

}  // namespace vktemu
