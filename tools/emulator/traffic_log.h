// What arrived on a port, for tests to inspect and wait on.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "emulator.h"

namespace vktemu {

class TrafficLog {
 public:
  // A flood must not eat the host's memory: past this many, datagrams are
  // only counted.
  static constexpr size_t kMaxKept = 100000;

  void record(ReceivedDatagram datagram, bool isProbe);
  std::vector<ReceivedDatagram> datagrams() const;
  void clear();
  size_t probeCount() const;
  size_t datagramCount() const;
  bool waitForProbes(size_t n, std::chrono::milliseconds timeout) const;
  bool waitForDatagrams(size_t n, std::chrono::milliseconds timeout) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<ReceivedDatagram> kept_;
  size_t probes_ = 0;
  size_t datagrams_ = 0;
};

}  // namespace vktemu
