// The fastest camera a benchmark can talk to: it answers every 28-byte
// request at once with a bare header carrying the same command and
// sequence. One thread per connection, blocking sockets.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "VKTNetSDK11.h"

namespace vktbench {

class FakeCamera {
 public:
  // Listens on `address`:`port`.
  FakeCamera(const std::string& address, uint16_t port);
  ~FakeCamera();
  bool Listening() const { return listener_ >= 0; }
  // The UDP port (host order) the last stream target command announced.
  uint16_t StreamPort() const { return streamPort_.load(); }

 private:
  void AcceptLoop();
  void Serve(int fd);

  int listener_ = -1;
  std::atomic<bool> stopping_{false};
  std::atomic<uint16_t> streamPort_{0};
  std::thread acceptor_;
  std::vector<std::thread> connections_;
  std::vector<int> fds_;
};

// What the benchmarks beside fake cameras share.

// A socket of `type` bound to `address` ("" for any) and `port` (0 for
// any), SO_REUSEADDR set first when `reuse`; -1 when it cannot be bound.
int BoundSocket(int type, const std::string& address, uint16_t port, bool reuse = false);
// `count` fake cameras at address(i):`port`; none when one cannot listen
// (it is named on standard error).
std::vector<std::unique_ptr<FakeCamera>> StartFakeCameras(int count, std::string (*address)(int), uint16_t port);
// The record a search would return for fake camera `i` at `address`.
DeviceRecord FakeCameraRecord(const std::string& address, uint16_t port, int i, const char* model);
double Median(std::vector<double> values);

}  // namespace vktbench
