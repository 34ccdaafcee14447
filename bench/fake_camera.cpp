#include "fake_camera.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace vktbench {

FakeCamera::FakeCamera(const std::string& address, uint16_t port) {
  listener_ = socket(AF_INET, SOCK_STREAM, 0);
  int on = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
  if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listener_, 16) != 0) {
    close(listener_);
    listener_ = -1;
    return;
  }
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

FakeCamera::~FakeCamera() {
  stopping_ = true;
  if (listener_ >= 0) shutdown(listener_, SHUT_RDWR);
  if (acceptor_.joinable()) acceptor_.join();
  for (int fd : fds_) shutdown(fd, SHUT_RDWR);
  for (auto& t : connections_) t.join();
  for (int fd : fds_) close(fd);
  if (listener_ >= 0) close(listener_);
}

void FakeCamera::AcceptLoop() {
  while (!stopping_) {
    int fd = accept(listener_, nullptr, nullptr);
    if (fd < 0) break;
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    fds_.push_back(fd);
    connections_.emplace_back([this, fd] { Serve(fd); });
  }
}

void FakeCamera::Serve(int fd) {
  uint8_t header[28];
  for (;;) {
    size_t got = 0;
    while (got < sizeof header) {
      ssize_t n = recv(fd, header + got, sizeof header - got, 0);
      if (n <= 0) return;
      got += static_cast<size_t>(n);
    }
    uint32_t length;
    int32_t command;
    std::memcpy(&length, header + 20, 4);
    std::memcpy(&command, header + 8, 4);
    // Payloads are read and dropped; a stream target's port is kept.
    uint8_t payload[256];
    size_t read = 0;
    while (read < length) {
      // The first 256 bytes are kept; the rest overwrite the end of the buffer.
      const size_t at = read < sizeof payload ? read : 0;
      ssize_t n = recv(fd, payload + at, std::min<size_t>(length - read, sizeof payload - at), 0);
      if (n <= 0) return;
      read += static_cast<size_t>(n);
    }
    if (command == 1081 && length >= 6) {
      uint16_t port;
      std::memcpy(&port, payload + 4, 2);
      streamPort_ = ntohs(port);
    }
    const int32_t zero = 0;
    std::memcpy(header + 16, &zero, 4);  // status
    std::memcpy(header + 20, &zero, 4);  // length
    if (send(fd, header, sizeof header, MSG_NOSIGNAL) != sizeof header) return;
  }
}

}  // namespace vktbench
