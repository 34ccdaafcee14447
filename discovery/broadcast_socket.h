// The UDP sockets of one search or address change: a limited broadcast to
// the discovery port out of every interface that can carry one, and the
// answers from all of them.
#pragma once

#include <ace/SOCK_Dgram.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "discovery/broadcast_interfaces.h"

namespace vkt::discovery {

// One socket: on one interface, or on any local address.
class BroadcastSocket {
 public:
  BroadcastSocket() = default;
  ~BroadcastSocket();
  BroadcastSocket(const BroadcastSocket&) = delete;
  BroadcastSocket& operator=(const BroadcastSocket&) = delete;

  // A port of the system's choosing, broadcasting on; bound to the
  // interface's address (and the interface itself where the system allows)
  // so that a limited broadcast leaves through it; null: any address.
  bool Open(const BroadcastInterface* on);
  bool SendBroadcast(const void* data, size_t length);
  // Reads one waiting datagram whole into `buffer` (`capacity` bytes) without
  // blocking: its length, or -1. `interfaceIndex` is where it arrived.
  long ReadWaiting(uint8_t* buffer, size_t capacity, unsigned& interfaceIndex);
  ACE_HANDLE Handle() const { return socket_.get_handle(); }

 private:
  ACE_SOCK_Dgram socket_;
  bool open_ = false;
};

class BroadcastSockets {
 public:
  // Large enough for any UDP datagram, so every length is seen exactly.
  static constexpr size_t kMaxDatagram = 65536;

  // One socket per broadcast interface; where the host has none (only
  // loopback, say), or none of them takes a socket, one socket on any
  // address whose broadcast the routes carry. False when not even that opens.
  bool Open();
  size_t Count() const { return sockets_.size(); }
  // Sends one datagram to 255.255.255.255 on the discovery port from every
  // socket, each trying up to `attempts` times; how many sent it whole.
  size_t SendBroadcast(const void* data, size_t length, int attempts = 1);
  // Waits at most `waitMs` (0 polls) for one datagram on any socket and reads
  // it whole into `buffer` (kMaxDatagram bytes). Its length, or -1 when none
  // came. `interfaceName` (may be null) receives the name of the interface
  // it arrived on ("" when unknown).
  long Receive(uint8_t* buffer, uint64_t waitMs, std::string* interfaceName);

 private:
  std::vector<std::unique_ptr<BroadcastSocket>> sockets_;
  size_t next_ = 0;  // the socket read first next time, so none is starved
};

}  // namespace vkt::discovery
