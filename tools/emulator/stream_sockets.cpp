#include "stream_sockets.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace vktemu {
namespace {

constexpr wire::Ipv4 kForeignHost = {127, 0, 0, 250};
// Room for a whole padded frame handed over back to back (the kernel may
// grant less; a full buffer is waited out).
constexpr int kSendBuffer = 4 << 20;

// The camera's address, or any address when the host does not own it.
bool bindCameraSocket(UdpSocket& socket, const wire::Ipv4& address, std::string* error) {
  if (!socket.bind(address, 0, false, error) && !socket.bind(wire::Ipv4{}, 0, false, error)) return false;
  const int size = kSendBuffer;
  // Best effort: the default buffer works too, only with more waiting.
  (void)::setsockopt(socket.fd(), SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
  return true;
}

}  // namespace

bool StreamSockets::follow(const wire::Ipv4& camera, std::string* error) {
  if (bound_ && camera == address_ && camera_.valid()) return true;
  close();
  if (!bindCameraSocket(camera_, camera, error)) return false;
  bound_ = true;
  address_ = camera;
  return true;
}

UdpSocket* StreamSockets::socketFor(StreamRoute route) {
  switch (route) {
    case StreamRoute::kCamera:
      return &camera_;
    case StreamRoute::kCameraOtherPort:
      if (!otherPortTried_) {
        otherPortTried_ = true;
        bindCameraSocket(otherPort_, address_, nullptr);
      }
      return &otherPort_;
    case StreamRoute::kForeign:
      if (!foreignTried_) {
        foreignTried_ = true;
        foreign_.bind(kForeignHost, 0, false, nullptr);
      }
      return &foreign_;
  }
  return &camera_;
}

bool StreamSockets::send(StreamRoute route, const sockaddr_in& to, std::span<const uint8_t> bytes, int wakeFd) {
  UdpSocket* socket = socketFor(route);
  if (!socket->valid()) return false;
  const auto giveUpAt = std::chrono::steady_clock::now() + kFullWait;
  for (;;) {
    const ssize_t sent = ::sendto(socket->fd(), bytes.data(), bytes.size(), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (sent == static_cast<ssize_t>(bytes.size())) return true;
    if (sent >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOBUFS && errno != EINTR)) return false;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(giveUpAt - std::chrono::steady_clock::now()).count();
    if (left <= 0) return false;
    // Out of buffers the socket still polls writable: wait for the wake
    // descriptor alone, briefly, instead of spinning.
    const bool noBuffers = errno == ENOBUFS;
    pollfd fds[2] = {{wakeFd, POLLIN, 0}, {socket->fd(), POLLOUT, 0}};
    const int ready = ::poll(fds, noBuffers ? 1 : 2, noBuffers ? 1 : static_cast<int>(left));
    if (ready < 0 && errno != EINTR) return false;
    if (fds[0].revents & POLLIN) return false;
  }
}

void StreamSockets::close() {
  camera_.close();
  otherPort_.close();
  foreign_.close();
  bound_ = false;
  otherPortTried_ = false;
  foreignTried_ = false;
}

}  // namespace vktemu
