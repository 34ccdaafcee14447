// Stream datagrams built by tests, and a sender of them from any address.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vkttest {

// A frame of `total` bytes with a stream record, cut into datagrams.
inline std::vector<std::vector<uint8_t>> FramePackets(uint32_t total, int32_t counter) {
  std::vector<uint8_t> frame(total);
  for (size_t i = 0; i < total; ++i) frame[i] = static_cast<uint8_t>(i + counter);
  const int32_t words[8] = {0, static_cast<int32_t>(total), counter, 1700000000, 125000, 0, 0, 0x2800 + counter};
  if (frame.size() >= 32 + sizeof words) std::memcpy(frame.data() + 32, words, sizeof words);
  std::vector<std::vector<uint8_t>> packets;
  for (int32_t i = 0; static_cast<size_t>(i) * 1020 < total; ++i) {
    std::vector<uint8_t> p(1024, 0);
    std::memcpy(p.data(), &i, 4);
    std::memcpy(p.data() + 4, frame.data() + static_cast<size_t>(i) * 1020,
                std::min<size_t>(1020, total - static_cast<size_t>(i) * 1020));
    packets.push_back(p);
  }
  return packets;
}

// A UDP sender bound to one address, to the library's receiver port.
class Sender {
 public:
  Sender(const std::string& from, uint16_t port) : port_(port) {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, from.c_str(), &local.sin_addr);
    bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
  }
  ~Sender() { close(fd_); }
  void Send(const std::vector<uint8_t>& datagram) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port_);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
  void Send(const std::vector<std::vector<uint8_t>>& datagrams) {
    for (const auto& d : datagrams) Send(d);
  }

 private:
  int fd_;
  uint16_t port_;
};

}  // namespace vkttest
