// The camera side's sockets: owned descriptors, TCP listeners, UDP sockets
// that send from a given local address (so each camera's datagrams carry its
// own address as the source, as a real camera's would), and where a
// registered push or stream target points.
#pragma once

#include <netinet/in.h>
#include <unistd.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "emulator.h"
#include "wire.h"

namespace vktemu {

// Largest UDP payload over IPv4.
inline constexpr size_t kMaxDatagram = 65507;

// Owns a file descriptor and closes it once.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(std::exchange(other.fd_, -1));
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

sockaddr_in socketAddress(const wire::Ipv4& address, uint16_t port);
std::string dotted(uint32_t networkOrder);  // an in_addr::s_addr as text

// "what: <errno's text>", for messages about a failed call.
std::string callFailed(std::string_view what);

// A non-blocking listener (SO_REUSEADDR, so a restarted emulator gets its
// ports back at once). Invalid when a call fails: `failed` then names it
// ("socket", "SO_REUSEADDR", "bind" or "listen") and errno says why.
UniqueFd listenTcp(const sockaddr_in& local, int backlog, std::string_view& failed);

// The next waiting client, non-blocking; invalid when none is waiting.
UniqueFd acceptTcp(int listener, sockaddr_in& peer);

// Sends the end of stream, drops whatever the peer sent and closes: closing
// with unread input would reset the connection, which can discard the tail
// the peer is meant to see.
void closeGently(UniqueFd& connection);

class UdpSocket {
 public:
  // address:port (port 0: any), non-blocking; `shared` sets SO_REUSEADDR
  // first. The discovery socket shares its port on 0.0.0.0 (a socket bound
  // to a single 127.0.0.X address would not see broadcasts); a sending
  // socket binds an address of its own as its source.
  bool bind(const wire::Ipv4& address, uint16_t port, bool shared, std::string* error);
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

// Where a registered push or stream target points: the announced address and
// port, or the peer that registered when it announced 0.0.0.0. Nothing when
// no target is registered, or it announced 0.0.0.0 and its peer is not a
// dotted IPv4 address.
std::optional<sockaddr_in> targetAddress(const PushTarget& target);

}  // namespace vktemu
