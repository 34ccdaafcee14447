#include "command_wire.h"

#include <algorithm>
#include <cstring>

#include "wire.h"

namespace vktemu::wire {
namespace {

void appendWord(std::vector<uint8_t>& out, int32_t value) {
  const size_t at = out.size();
  out.resize(at + 4);
  storeLe32(out, at, static_cast<uint32_t>(value));
}

void appendText(std::vector<uint8_t>& out, std::string_view text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

}  // namespace

CommandHeader decodeCommandHeader(std::span<const uint8_t> bytes) {
  auto word = [&](size_t i) { return static_cast<int32_t>(loadLe32(bytes, 4 * i)); };
  return {word(0), word(1), word(2), word(3), word(4), static_cast<uint32_t>(word(5)), word(6)};
}

std::vector<uint8_t> encodeCommand(const CommandHeader& header, std::span<const uint8_t> payload) {
  std::vector<uint8_t> out;
  out.reserve(kCommandHeaderSize + payload.size());
  for (const int32_t word : {header.version, header.reserved, header.command, header.sequence, header.status,
                             static_cast<int32_t>(header.length), header.value})
    appendWord(out, word);
  out.insert(out.end(), payload.begin(), payload.end());
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

std::optional<std::string> sdRequestText(std::span<const uint8_t> payload, size_t size, size_t at) {
  if (payload.size() != size || at + kSdTextSize > size) return std::nullopt;
  const auto field = payload.subspan(at, kSdTextSize);
  const auto end = std::find(field.begin(), field.end(), uint8_t{0});
  if (end == field.end()) return std::nullopt;
  return std::string(field.begin(), end);
}

std::vector<uint8_t> encodeSdState(int32_t status, int32_t capacityMiB, int32_t freeMiB) {
  std::vector<uint8_t> out;
  out.reserve(kSdStateSize);
  for (const int32_t word : {status, capacityMiB, freeMiB}) appendWord(out, word);
  return out;
}

std::vector<uint8_t> encodeSdListing(std::string_view path, const std::vector<SdEntry>& entries) {
  size_t size = 4 + path.size() + 1 + 4;
  for (const auto& entry : entries) size += 4 + entry.name.size() + 1;
  std::vector<uint8_t> out;
  out.reserve(size);
  appendWord(out, 1);
  appendText(out, path);
  appendWord(out, static_cast<int32_t>(entries.size()));
  for (const auto& entry : entries) {
    appendWord(out, entry.value);
    appendText(out, entry.name);
  }
  return out;
}

std::vector<uint8_t> encodeSdNoTree() { return std::vector<uint8_t>(4, 0); }

}  // namespace vktemu::wire
