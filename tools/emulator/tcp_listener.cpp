#include "tcp_listener.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace vktemu {
namespace {

constexpr int kBacklog = 64;

}  // namespace

UniqueFd listenTcp(const wire::Ipv4& address, uint16_t port, std::string* error) {
  const std::string where = wire::formatIpv4(address) + ":" + std::to_string(port);
  auto fail = [&](const char* what) {
    if (error) *error = where + ": " + what + ": " + std::strerror(errno);
    return UniqueFd{};
  };
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return fail("socket");
  const int on = 1;
  if (::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) return fail("SO_REUSEADDR");
  sockaddr_in local{};
  local.sin_family = AF_INET;
  std::memcpy(&local.sin_addr, address.data(), 4);
  local.sin_port = htons(port);
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) return fail("bind");
  if (::listen(fd.get(), kBacklog) != 0) return fail("listen");
  return fd;
}

UniqueFd acceptTcp(int listener, sockaddr_in& peer) {
  socklen_t length = sizeof peer;
  return UniqueFd(
      ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC));
}

std::string dottedAddress(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
  return text;
}

}  // namespace vktemu
