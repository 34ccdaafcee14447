#include "fake_camera.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vktbench {

int BoundSocket(int type, const std::string& address, uint16_t port, bool reuse) {
  const int fd = socket(AF_INET, type, 0);
  if (fd < 0) return -1;
  const int on = 1;
  if (reuse) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  if (!address.empty()) inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

std::vector<std::unique_ptr<FakeCamera>> StartFakeCameras(int count, std::string (*address)(int), uint16_t port) {
  std::vector<std::unique_ptr<FakeCamera>> cameras;
  for (int i = 0; i < count; ++i) {
    cameras.push_back(std::make_unique<FakeCamera>(address(i), port));
    if (!cameras.back()->Listening()) {
      std::fprintf(stderr, "cannot listen on %s:%u\n", address(i).c_str(), port);
      return {};
    }
  }
  return cameras;
}

DeviceRecord FakeCameraRecord(const std::string& address, uint16_t port, int i, const char* model) {
  DeviceRecord record{};
  inet_pton(AF_INET, address.c_str(), &record.ipAddress);
  record.macAddress[5] = static_cast<uint8_t>(i + 1);
  record.commandPort = port;
  std::snprintf(record.modelName, sizeof record.modelName, "%s", model);
  return record;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

FakeCamera::FakeCamera(const std::string& address, uint16_t port) {
  listener_ = BoundSocket(SOCK_STREAM, address, port, true);
  if (listener_ < 0) return;
  if (listen(listener_, 16) != 0) {
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
