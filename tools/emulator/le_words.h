// Little-endian 32-bit words inside payloads, as the cameras lay them out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vktemu {

// The caller makes sure bytes [at, at + 4) exist.
inline uint32_t loadLe32(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
         static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

inline void storeLe32(std::span<uint8_t> bytes, size_t at, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace vktemu
