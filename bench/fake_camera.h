// The fastest camera a benchmark can talk to: it answers every 28-byte
// request at once with a bare header carrying the same command and
// sequence. One thread per connection, blocking sockets.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

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

}  // namespace vktbench
