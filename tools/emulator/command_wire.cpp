#include "command_wire.h"

#include <cstring>

namespace vktemu::wire {
namespace {

uint32_t getLe32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
         static_cast<uint32_t>(at[3]) << 24;
}

void putLe32(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
  at[2] = static_cast<uint8_t>(value >> 16);
  at[3] = static_cast<uint8_t>(value >> 24);
}

}  // namespace

CommandHeader decodeCommandHeader(std::span<const uint8_t> bytes) {
  const uint8_t* p = bytes.data();
  CommandHeader header;
  header.version = static_cast<int32_t>(getLe32(p));
  header.reserved = static_cast<int32_t>(getLe32(p + 4));
  header.command = static_cast<int32_t>(getLe32(p + 8));
  header.sequence = static_cast<int32_t>(getLe32(p + 12));
  header.status = static_cast<int32_t>(getLe32(p + 16));
  header.length = getLe32(p + 20);
  header.value = static_cast<int32_t>(getLe32(p + 24));
  return header;
}

std::vector<uint8_t> encodeCommand(const CommandHeader& header, std::span<const uint8_t> payload) {
  std::vector<uint8_t> out(kCommandHeaderSize + payload.size());
  uint8_t* p = out.data();
  putLe32(p, static_cast<uint32_t>(header.version));
  putLe32(p + 4, static_cast<uint32_t>(header.reserved));
  putLe32(p + 8, static_cast<uint32_t>(header.command));
  putLe32(p + 12, static_cast<uint32_t>(header.sequence));
  putLe32(p + 16, static_cast<uint32_t>(header.status));
  putLe32(p + 20, header.length);
  putLe32(p + 24, static_cast<uint32_t>(header.value));
  if (!payload.empty()) std::memcpy(p + kCommandHeaderSize, payload.data(), payload.size());
  return out;
}

std::optional<TargetPayload> parseTargetPayload(std::span<const uint8_t> payload) {
  if (payload.size() != kTargetPayloadSize) return std::nullopt;
  TargetPayload target;
  std::memcpy(&target.address, payload.data(), 4);
  target.port = static_cast<uint16_t>(payload[4] << 8 | payload[5]);
  target.flag = static_cast<uint16_t>(payload[6] | payload[7] << 8);
  return target;
}

}  // namespace vktemu::wire
