// The camera's side of one picture connection: connects from the camera's
// own address, sends the picture (in pieces with pauses when a test asks
// for a slow sender) and hands the open connection back. Every wait is
// bounded and ends at once when the wake descriptor turns readable, so a
// stop never waits for a slow or silent receiver.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstddef>
#include <span>
#include <string>

#include "sockets.h"
#include "wire.h"

namespace vktemu {

struct SendPlan {
  sockaddr_in to{};
  wire::Ipv4 from{};
  size_t chunkBytes = 0;  // 0: all at once
  std::chrono::milliseconds chunkDelay{0};
  int sendBufferBytes = 0;  // SO_SNDBUF before connecting (0: the system's default)
  std::chrono::milliseconds connectTimeout{2000};
  std::chrono::milliseconds stallTimeout{5000};  // the receiver takes nothing for this long
};

struct SendOutcome {
  size_t sent = 0;
  bool done = false;  // every byte sent
  std::string error;
  UniqueFd connection;  // open when connected, done or not
};

SendOutcome sendPicture(const SendPlan& plan, std::span<const uint8_t> bytes, int wakeFd);

}  // namespace vktemu
