#include "discovery/broadcast_socket.h"

#include <sys/socket.h>

#include <ace/INET_Addr.h>

#include <cerrno>

#include "api/clock.h"
#include "discovery/discovery_wire.h"

namespace vkt::discovery {

BroadcastSocket::~BroadcastSocket() {
  if (open_) socket_.close();
}

bool BroadcastSocket::Open() {
  ACE_INET_Addr any(static_cast<u_short>(0), static_cast<ACE_UINT32>(INADDR_ANY));
  if (socket_.open(any, PF_INET, 0, 1) != 0) return false;
  open_ = true;
  int on = 1;
  return socket_.set_option(SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0;
}

bool BroadcastSocket::SendBroadcast(const void* data, size_t length) {
  ACE_INET_Addr broadcast(kPort, static_cast<ACE_UINT32>(INADDR_BROADCAST));
  return socket_.send(data, length, broadcast) == static_cast<ssize_t>(length);
}

long BroadcastSocket::Receive(uint8_t* buffer, uint64_t waitMs) {
  Stopwatch watch;
  ACE_INET_Addr source;
  for (;;) {
    uint64_t spent = watch.ElapsedMs();
    ACE_Time_Value wait = MsToTimeValue(spent < waitMs ? waitMs - spent : 0);
    ssize_t n = socket_.recv(buffer, kMaxDatagram, source, 0, &wait);
    // A signal is no reason to give up the wait.
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

}  // namespace vkt::discovery
