#include "discovery/broadcast_socket.h"

#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <ace/INET_Addr.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "api/clock.h"
#include "discovery/discovery_wire.h"

namespace vkt::discovery {

BroadcastSocket::~BroadcastSocket() {
  if (open_) socket_.close();
}

bool BroadcastSocket::Open(const BroadcastInterface* on) {
  const ACE_UINT32 local = on != nullptr ? ntohl(on->address) : static_cast<ACE_UINT32>(INADDR_ANY);
  ACE_INET_Addr address(static_cast<u_short>(0), local);
  if (socket_.open(address, PF_INET, 0, 1) != 0) return false;
  open_ = true;
  int on1 = 1;
  if (socket_.set_option(SOL_SOCKET, SO_BROADCAST, &on1, sizeof on1) != 0) return false;
  // The arrival interface of each answer, to tell which network found it.
  (void)socket_.set_option(IPPROTO_IP, IP_PKTINFO, &on1, sizeof on1);
  if (on != nullptr) {
    // Best effort: the bound address alone already makes a limited broadcast
    // leave through its interface.
    (void)::setsockopt(socket_.get_handle(), SOL_SOCKET, SO_BINDTODEVICE, on->name.c_str(),
                       static_cast<socklen_t>(on->name.size()));
  }
  return true;
}

bool BroadcastSocket::SendBroadcast(const void* data, size_t length) {
  ACE_INET_Addr broadcast(kPort, static_cast<ACE_UINT32>(INADDR_BROADCAST));
  return socket_.send(data, length, broadcast) == static_cast<ssize_t>(length);
}

long BroadcastSocket::ReadWaiting(uint8_t* buffer, size_t capacity, unsigned& interfaceIndex) {
  iovec part{buffer, capacity};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
  msghdr message{};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  const ssize_t n = ::recvmsg(socket_.get_handle(), &message, MSG_DONTWAIT);
  if (n < 0) return -1;
  interfaceIndex = 0;
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
      in_pktinfo info;
      std::memcpy(&info, CMSG_DATA(c), sizeof info);
      interfaceIndex = static_cast<unsigned>(info.ipi_ifindex);
    }
  }
  return static_cast<long>(n);
}

bool BroadcastSockets::Open() {
  for (const BroadcastInterface& i : BroadcastInterfaces()) {
    auto socket = std::make_unique<BroadcastSocket>();
    if (socket->Open(&i)) sockets_.push_back(std::move(socket));
  }
  if (!sockets_.empty()) return true;
  auto any = std::make_unique<BroadcastSocket>();
  if (!any->Open(nullptr)) return false;
  sockets_.push_back(std::move(any));
  return true;
}

size_t BroadcastSockets::SendBroadcast(const void* data, size_t length, int attempts) {
  size_t sent = 0;
  for (auto& socket : sockets_) {
    for (int a = 0; a < attempts; ++a) {
      if (socket->SendBroadcast(data, length)) {
        ++sent;
        break;
      }
    }
  }
  return sent;
}

long BroadcastSockets::Receive(uint8_t* buffer, uint64_t waitMs, std::string* interfaceName) {
  if (sockets_.empty()) return -1;
  Stopwatch watch;
  std::vector<pollfd> polled(sockets_.size());
  for (;;) {
    for (size_t i = 0; i < sockets_.size(); ++i) polled[i] = pollfd{sockets_[i]->Handle(), POLLIN, 0};
    const uint64_t spent = watch.ElapsedMs();
    const uint64_t left = spent < waitMs ? waitMs - spent : 0;
    const int ready = ::poll(polled.data(), polled.size(), static_cast<int>(std::min<uint64_t>(left, 1u << 30)));
    // A signal is no reason to give up the wait.
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return -1;
    for (size_t k = 0; k < sockets_.size(); ++k) {
      const size_t i = (next_ + k) % sockets_.size();
      if ((polled[i].revents & (POLLIN | POLLERR)) == 0) continue;
      unsigned index = 0;
      const long n = sockets_[i]->ReadWaiting(buffer, kMaxDatagram, index);
      if (n < 0) continue;
      next_ = i + 1;
      if (interfaceName != nullptr) {
        char name[IF_NAMESIZE] = {};
        *interfaceName = index != 0 && ::if_indextoname(index, name) != nullptr ? name : "";
      }
      return n;
    }
    // Only errors were pending (an ICMP answer, say): wait on.
    if (watch.ElapsedMs() >= waitMs) return -1;
  }
}

}  // namespace vkt::discovery
