#include "wire.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

namespace vktemu::wire {
namespace {

// Text fields are fixed 32-byte slots: shorter text keeps a terminator,
// longer text is cut to fill the slot.
void putText(uint8_t* at, const std::string& text) {
  std::memcpy(at, text.data(), std::min(text.size(), answer::kTextSize));
}

bool startsWith(std::span<const uint8_t> bytes, std::string_view keyword) {
  return bytes.size() >= keyword.size() && std::memcmp(bytes.data(), keyword.data(), keyword.size()) == 0;
}

}  // namespace

bool isProbe(std::span<const uint8_t> datagram) {
  return datagram.size() == kProbe.size() && startsWith(datagram, kProbe);
}

std::optional<ChangeIpRequest> parseChangeIp(std::span<const uint8_t> datagram) {
  if (datagram.size() != kChangeIpSize || !startsWith(datagram, kChangeIpKeyword)) return std::nullopt;
  ChangeIpRequest request;
  std::memcpy(request.address.data(), datagram.data() + changeip::kAddress, 4);
  std::memcpy(&request.word1, datagram.data() + changeip::kWord1, 4);
  std::memcpy(&request.word2, datagram.data() + changeip::kWord2, 4);
  std::memcpy(request.mac.data(), datagram.data() + changeip::kMac, request.mac.size());
  return request;
}

std::optional<Ipv4> parseIpv4(const std::string& dotted) {
  in_addr parsed{};
  if (inet_pton(AF_INET, dotted.c_str(), &parsed) != 1) return std::nullopt;
  Ipv4 address;
  std::memcpy(address.data(), &parsed, 4);
  return address;
}

std::string formatIpv4(const Ipv4& address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, address.data(), text, sizeof text);
  return text;
}

}  // namespace vktemu::wire

namespace vktemu {

std::array<uint8_t, 396> buildDiscoveryAnswer(const CameraConfig& config) {
  using namespace wire;
  static_assert(kAnswerSize == 396);
  std::array<uint8_t, kAnswerSize> out{};
  uint8_t* p = out.data();
  std::memcpy(p, kAnswerKeyword.data(), kAnswerKeyword.size());
  const Ipv4 address = parseIpv4(config.address).value_or(Ipv4{});
  std::memcpy(p + answer::kAddress, address.data(), 4);
  std::memcpy(p + answer::kWord1, &config.addressWord1, 4);
  std::memcpy(p + answer::kWord2, &config.addressWord2, 4);
  std::memcpy(p + answer::kMac, config.mac.data(), config.mac.size());
  putText(p + answer::kModel, config.model);
  putText(p + answer::kInfoText1, config.infoText1);
  putText(p + answer::kInfoText2, config.infoText2);
  storeLe32(out, answer::kCommandPort, config.commandPort);
  for (size_t i = 0; i < config.infoWords.size(); ++i)
    storeLe32(out, answer::kInfoWords + 4 * i, static_cast<uint32_t>(config.infoWords[i]));
  std::memcpy(p + answer::kInfoBlock, config.infoBlock.data(), config.infoBlock.size());
  storeLe32(out, answer::kTailWord1, static_cast<uint32_t>(config.tailWord1));
  storeLe32(out, answer::kTailWord2, static_cast<uint32_t>(config.tailWord2));
  return out;
}

}  // namespace vktemu
