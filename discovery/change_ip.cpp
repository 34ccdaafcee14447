#include "discovery/change_ip.h"

#include <memory>

#include "api/clock.h"
#include "api/last_error.h"
#include "discovery/broadcast_socket.h"
#include "discovery/discovery_wire.h"

namespace vkt::discovery {

int ChangeCameraIp(const ChangeIPParam* param, unsigned int timeoutMs) {
  if (param == nullptr) return Fail(err::kInvalidParam);
  Stopwatch watch;
  const ChangeIpRequest request = BuildChangeIpRequest(*param);
  // Out of every broadcast interface; the confirmation may come back on any.
  BroadcastSockets sockets;
  if (!sockets.Open() || sockets.SendBroadcast(request.data(), request.size()) == 0) return Fail(err::kNetwork);
  auto buffer = std::make_unique<uint8_t[]>(BroadcastSockets::kMaxDatagram);
  uint64_t wait = timeoutMs;
  for (;;) {
    long length = sockets.Receive(buffer.get(), wait, nullptr);
    if (length >= 0 && IsConfirmation(buffer.get(), static_cast<size_t>(length), request)) return 0;
    if (length < 0) break;  // the wait ended without a datagram
    // Any other datagram: wait on with the time left.
    uint64_t elapsed = watch.ElapsedMs();
    if (elapsed >= timeoutMs) break;
    wait = timeoutMs - elapsed;
  }
  SetLastError(err::kTimeout);
  return 1;
}

}  // namespace vkt::discovery
