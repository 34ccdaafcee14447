// A UDP socket for the camera side: bound to a port on all addresses, and
// able to send from a given local address, so each camera's replies carry
// its own address as the source, as a real camera's would.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "unique_fd.h"
#include "wire.h"

namespace vktemu {

class UdpSocket {
 public:
  // 0.0.0.0:port with SO_REUSEADDR, non-blocking. A socket bound to a single
  // 127.0.0.X address would not see broadcasts.
  bool bindAny(uint16_t port, std::string* error);
  // address:port (0: any port), non-blocking: a sending socket with a
  // source address of its own.
  bool bindTo(const wire::Ipv4& address, uint16_t port, std::string* error);
  void close() { fd_.reset(); }
  int fd() const { return fd_.get(); }
  bool valid() const { return fd_.valid(); }

  // Sends from `source` when given and local to this host; otherwise, or if
  // the kernel refuses that source, from the address it picks.
  bool sendTo(const sockaddr_in& to, std::span<const uint8_t> bytes,
              const std::optional<wire::Ipv4>& source = std::nullopt);

  // One datagram if there is one waiting (never blocks). `bytes` is resized
  // to what arrived; datagrams larger than the buffer are cut to it.
  bool receive(std::vector<uint8_t>& bytes, sockaddr_in& from);

 private:
  UniqueFd fd_;
};

}  // namespace vktemu
