// The UDP socket of one search or address change: sends to the limited
// broadcast address on the discovery port and receives the answers.
#pragma once

#include <ace/SOCK_Dgram.h>

#include <cstddef>
#include <cstdint>

namespace vkt::discovery {

class BroadcastSocket {
 public:
  // Large enough for any UDP datagram, so every length is seen exactly.
  static constexpr size_t kMaxDatagram = 65536;

  BroadcastSocket() = default;
  ~BroadcastSocket();
  BroadcastSocket(const BroadcastSocket&) = delete;
  BroadcastSocket& operator=(const BroadcastSocket&) = delete;

  // Any local address, a port of the system's choosing, broadcasting on.
  bool Open();
  // Sends one datagram to 255.255.255.255 on the discovery port; true when
  // it went out whole.
  bool SendBroadcast(const void* data, size_t length);
  // Waits at most `waitMs` (0 polls) for one datagram and reads it whole into
  // `buffer` (kMaxDatagram bytes). Its length, or -1 when none came.
  long Receive(uint8_t* buffer, uint64_t waitMs);

 private:
  ACE_SOCK_Dgram socket_;
  bool open_ = false;
};

}  // namespace vkt::discovery
