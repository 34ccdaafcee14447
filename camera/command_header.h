// The 28-byte header of every request and reply on a command connection:
// seven little-endian 32-bit words, copied as they are (the host is
// little-endian too).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "camera/protocol.h"

namespace vkt {

static_assert(std::endian::native == std::endian::little, "the wire words are the host's words");

struct CommandHeader {
  int32_t version = 0;
  int32_t reserved = 0;
  int32_t command = 0;
  int32_t sequence = 0;
  int32_t status = 0;
  uint32_t length = 0;  // payload bytes after the header
  int32_t value = 0;    // the command's single scalar, if it has one
};
static_assert(sizeof(CommandHeader) == 28);

inline constexpr size_t kHeaderSize = sizeof(CommandHeader);
inline constexpr size_t kMessageBufferSize = 1024;
inline constexpr size_t kMaxPayload = kMessageBufferSize - kHeaderSize;  // 996

inline CommandHeader DecodeHeader(const uint8_t* bytes) {
  CommandHeader h;
  std::memcpy(&h, bytes, kHeaderSize);
  return h;
}

inline void EncodeHeader(const CommandHeader& h, uint8_t* bytes) { std::memcpy(bytes, &h, kHeaderSize); }

}  // namespace vkt
