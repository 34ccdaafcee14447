// The sockets a camera's stream leaves from: its stream socket and a second
// one on its address (another source port), both bound to the camera's
// address, and one on 127.0.0.250 for junk from a host that is not the
// camera. A camera whose address this host does not own streams from
// whatever address the kernel picks.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <span>
#include <string>

#include "stream_plan.h"
#include "sockets.h"
#include "wire.h"

namespace vktemu {

class StreamSockets {
 public:
  // Binds to the camera's current address, again only when it changed
  // since the last call. False when no socket could be had at all.
  bool follow(const wire::Ipv4& camera, std::string* error);
  // One datagram. While the socket's buffer is full it waits, at most
  // kFullWait, and not past `wakeFd` turning readable (-1: no such fd).
  bool send(StreamRoute route, const sockaddr_in& to, std::span<const uint8_t> bytes, int wakeFd);
  void close();

  static constexpr std::chrono::milliseconds kFullWait{200};

 private:
  UdpSocket* socketFor(StreamRoute route);

  bool bound_ = false;
  wire::Ipv4 address_{};
  UdpSocket camera_;
  UdpSocket otherPort_;
  UdpSocket foreign_;
  bool otherPortTried_ = false;
  bool foreignTried_ = false;
};

}  // namespace vktemu
