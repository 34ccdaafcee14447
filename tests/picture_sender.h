// Builds pushed pictures byte by byte and sends them the way a camera does:
// one TCP connection per picture, from the camera's own address.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace vkttest {

struct PictureWords {
  uint16_t app1Length = 54;
  uint32_t totalLength = 0;  // 0: the size of the picture
  int32_t word8 = 0x08080808, word12 = 12, seconds = 1700000000, microseconds = 250000;
  int32_t word24 = 24, word28 = 28, word32 = 32, word36 = 36, word40 = 40;
};

inline void PutLe(std::vector<uint8_t>& b, size_t offset, int32_t w) { std::memcpy(b.data() + offset, &w, 4); }

// A picture of `size` bytes (at least 76) framed as cameras frame them.
inline std::vector<uint8_t> BuildPicture(size_t size, const PictureWords& w = {}) {
  std::vector<uint8_t> b(size < 76 ? 76 : size);
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 7 + 3);
  const uint8_t jfif[20] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
  std::memcpy(b.data(), jfif, 20);
  b[20] = 0xFF;
  b[21] = 0xE1;
  b[22] = static_cast<uint8_t>(w.app1Length >> 8);
  b[23] = static_cast<uint8_t>(w.app1Length);
  PutLe(b, 32, 0);
  PutLe(b, 36, static_cast<int32_t>(w.totalLength != 0 ? w.totalLength : size));
  PutLe(b, 40, w.word8);
  PutLe(b, 44, w.word12);
  PutLe(b, 48, w.seconds);
  PutLe(b, 52, w.microseconds);
  PutLe(b, 56, w.word24);
  PutLe(b, 60, w.word28);
  PutLe(b, 64, w.word32);
  PutLe(b, 68, w.word36);
  PutLe(b, 72, w.word40);
  b.resize(size);
  return b;
}

// A connection to the library's picture port from `from` (a 127.0.0.X).
inline int ConnectFrom(const std::string& from, uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  inet_pton(AF_INET, from.c_str(), &local.sin_addr);
  if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    close(fd);
    return -1;
  }
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

inline bool SendAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Sends `picture` in pieces of `chunk` bytes with `pause` between them,
// then closes.
inline bool Push(const std::string& from, uint16_t port, const std::vector<uint8_t>& picture, size_t chunk = 0,
                 std::chrono::milliseconds pause = std::chrono::milliseconds(0)) {
  int fd = ConnectFrom(from, port);
  if (fd < 0) return false;
  bool ok = true;
  if (chunk == 0) chunk = picture.size();
  for (size_t at = 0; ok && at < picture.size(); at += chunk) {
    ok = SendAll(fd, picture.data() + at, std::min(chunk, picture.size() - at));
    if (pause.count() > 0) std::this_thread::sleep_for(pause);
  }
  close(fd);
  return ok;
}

}  // namespace vkttest
