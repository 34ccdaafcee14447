#include "udp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace vktemu {
namespace {

// Largest UDP payload over IPv4.
constexpr size_t kMaxDatagram = 65507;

}  // namespace

bool UdpSocket::bindAny(uint16_t port, std::string* error) {
  auto fail = [&](const std::string& what) {
    const int code = errno;
    if (error) *error = what + ": " + std::strerror(code);
    fd_.reset();
    return false;
  };
  fd_.reset(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd_.valid()) return fail("socket");
  const int on = 1;
  if (::setsockopt(fd_.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) return fail("SO_REUSEADDR");
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(port);
  if (::bind(fd_.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    const int code = errno;
    const std::string where = "bind 0.0.0.0:" + std::to_string(port);
    errno = code;
    return fail(where);
  }
  return true;
}

bool UdpSocket::bindTo(const wire::Ipv4& address, uint16_t port, std::string* error) {
  fd_.reset(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd_.valid()) {
    if (error) *error = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  sockaddr_in local{};
  local.sin_family = AF_INET;
  std::memcpy(&local.sin_addr.s_addr, address.data(), 4);
  local.sin_port = htons(port);
  if (::bind(fd_.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    const int code = errno;
    if (error) *error = "bind " + wire::formatIpv4(address) + ":" + std::to_string(port) + ": " + std::strerror(code);
    fd_.reset();
    return false;
  }
  return true;
}

bool UdpSocket::sendTo(const sockaddr_in& to, std::span<const uint8_t> bytes,
                       const std::optional<wire::Ipv4>& source) {
  if (!fd_.valid()) return false;
  if (source && *source != wire::Ipv4{}) {
    iovec iov{const_cast<uint8_t*>(bytes.data()), bytes.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr message{};
    message.msg_name = const_cast<sockaddr_in*>(&to);
    message.msg_namelen = sizeof to;
    message.msg_iov = &iov;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = IPPROTO_IP;
    header->cmsg_type = IP_PKTINFO;
    header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    std::memcpy(&info.ipi_spec_dst, source->data(), 4);
    std::memcpy(CMSG_DATA(header), &info, sizeof info);
    const ssize_t sent = ::sendmsg(fd_.get(), &message, MSG_NOSIGNAL);
    if (sent == static_cast<ssize_t>(bytes.size())) return true;
    // A camera moved to an address this host does not own still answers,
    // from whatever source the kernel allows.
  }
  const ssize_t sent = ::sendto(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&to), sizeof to);
  return sent == static_cast<ssize_t>(bytes.size());
}

bool UdpSocket::receive(std::vector<uint8_t>& bytes, sockaddr_in& from) {
  bytes.resize(kMaxDatagram);
  socklen_t fromLength = sizeof from;
  const ssize_t n = ::recvfrom(fd_.get(), bytes.data(), bytes.size(), MSG_DONTWAIT,
                               reinterpret_cast<sockaddr*>(&from), &fromLength);
  if (n < 0) {
    bytes.clear();
    return false;
  }
  bytes.resize(static_cast<size_t>(n));
  return true;
}

}  // namespace vktemu
