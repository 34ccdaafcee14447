#include "sockets.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace vktemu {

sockaddr_in socketAddress(const wire::Ipv4& address, uint16_t port) {
  sockaddr_in out{};
  out.sin_family = AF_INET;
  std::memcpy(&out.sin_addr, address.data(), 4);
  out.sin_port = htons(port);
  return out;
}

std::string dotted(uint32_t networkOrder) {
  char text[INET_ADDRSTRLEN] = {};
  const in_addr raw{networkOrder};
  inet_ntop(AF_INET, &raw, text, sizeof text);
  return text;
}

std::string callFailed(std::string_view what) { return std::string(what) + ": " + std::strerror(errno); }

namespace {

// A non-blocking socket bound to `local` (SO_REUSEADDR first when `shared`),
// listening when a backlog is given; invalid on failure, as for listenTcp().
UniqueFd openSocket(int type, const sockaddr_in& local, bool shared, std::optional<int> backlog,
                    std::string_view& failed) {
  UniqueFd fd(::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  const int on = 1;
  if (!fd.valid())
    failed = "socket";
  else if (shared && ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)
    failed = "SO_REUSEADDR";
  else if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
    failed = "bind";
  else if (backlog && ::listen(fd.get(), *backlog) != 0)
    failed = "listen";
  else
    return fd;
  const int code = errno;  // closing must not change why it failed
  fd.reset();
  errno = code;
  return fd;
}

}  // namespace

UniqueFd listenTcp(const sockaddr_in& local, int backlog, std::string_view& failed) {
  return openSocket(SOCK_STREAM, local, true, backlog, failed);
}

UniqueFd acceptTcp(int listener, sockaddr_in& peer) {
  socklen_t length = sizeof peer;
  return UniqueFd(::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC));
}

void closeGently(UniqueFd& connection) {
  if (!connection.valid()) return;
  ::shutdown(connection.get(), SHUT_WR);
  char discard[4096];
  for (int i = 0; i < 64; ++i) {
    if (::recv(connection.get(), discard, sizeof discard, MSG_DONTWAIT) <= 0) break;
  }
  connection.reset();
}

bool UdpSocket::bind(const wire::Ipv4& address, uint16_t port, bool shared, std::string* error) {
  std::string_view failed;
  fd_.reset();
  fd_ = openSocket(SOCK_DGRAM, socketAddress(address, port), shared, std::nullopt, failed);
  if (!fd_.valid() && error)
    *error = callFailed(failed == "bind" ? "bind " + wire::formatIpv4(address) + ":" + std::to_string(port)
                                         : std::string(failed));
  return fd_.valid();
}

bool UdpSocket::sendTo(const sockaddr_in& to, std::span<const uint8_t> bytes, const std::optional<wire::Ipv4>& source) {
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
  const ssize_t sent =
      ::sendto(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  return sent == static_cast<ssize_t>(bytes.size());
}

bool UdpSocket::receive(std::vector<uint8_t>& bytes, sockaddr_in& from) {
  bytes.resize(kMaxDatagram);
  socklen_t fromLength = sizeof from;
  const ssize_t n =
      ::recvfrom(fd_.get(), bytes.data(), bytes.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &fromLength);
  if (n < 0) {
    bytes.clear();
    return false;
  }
  bytes.resize(static_cast<size_t>(n));
  return true;
}

std::optional<sockaddr_in> targetAddress(const PushTarget& target) {
  if (!target.set) return std::nullopt;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(target.port);
  to.sin_addr.s_addr = target.address;
  if (target.address == 0 && inet_pton(AF_INET, target.peerAddress.c_str(), &to.sin_addr) != 1) return std::nullopt;
  return to;
}

}  // namespace vktemu
