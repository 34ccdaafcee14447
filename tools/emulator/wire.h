// The emulator's own copy of the cameras' wire formats: addresses and
// little-endian words, and the discovery datagrams.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "emulator.h"

namespace vktemu::wire {

using Ipv4 = std::array<uint8_t, 4>;  // network order

std::optional<Ipv4> parseIpv4(const std::string& dotted);
std::string formatIpv4(const Ipv4& address);

// Little-endian 32-bit words inside payloads, as the cameras lay them out.
// The caller makes sure bytes [at, at + 4) exist.
inline uint32_t loadLe32(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
         static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

inline void storeLe32(std::span<uint8_t> bytes, size_t at, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

inline constexpr uint16_t kDiscoveryPort = 34565;

inline constexpr std::string_view kProbe = "Where_oKrimu_IPNC_Lumarest";  // 26 bytes, no terminator

inline constexpr size_t kAnswerSize = 396;
inline constexpr std::string_view kAnswerKeyword = "IPNC_AnswerInfo=";
inline constexpr std::string_view kBadAnswerKeyword = "IPNC_AnswerInfo?";

namespace answer {
inline constexpr size_t kAddress = 16;
inline constexpr size_t kWord1 = 20;
inline constexpr size_t kWord2 = 24;
inline constexpr size_t kMac = 28;
inline constexpr size_t kModel = 34;
inline constexpr size_t kInfoText1 = 66;
inline constexpr size_t kInfoText2 = 98;
inline constexpr size_t kTextSize = 32;
inline constexpr size_t kCommandPort = 200;  // little-endian
inline constexpr size_t kInfoWords = 204;    // six little-endian words
inline constexpr size_t kInfoBlock = 228;    // 64 bytes
inline constexpr size_t kTailWord1 = 388;    // little-endian
inline constexpr size_t kTailWord2 = 392;    // little-endian
}  // namespace answer

inline constexpr std::string_view kChangeIpKeyword = "oKrimu_IPNC_Change_IP";  // 21 bytes
inline constexpr size_t kChangeIpSize = 44;

namespace changeip {
inline constexpr size_t kAddress = 24;
inline constexpr size_t kWord1 = 28;
inline constexpr size_t kWord2 = 32;
inline constexpr size_t kMac = 36;
inline constexpr size_t kFiller = 42;  // two bytes
}  // namespace changeip

struct ChangeIpRequest {
  Ipv4 address{};
  uint32_t word1 = 0;  // raw wire bytes
  uint32_t word2 = 0;
  Mac mac{};
};

bool isProbe(std::span<const uint8_t> datagram);
std::optional<ChangeIpRequest> parseChangeIp(std::span<const uint8_t> datagram);

}  // namespace vktemu::wire
