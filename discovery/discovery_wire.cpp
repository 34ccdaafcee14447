#include "discovery/discovery_wire.h"

#include <cstring>

namespace vkt::discovery {

static_assert(kProbe.size() == 26);
static_assert(kAnswerKeyword.size() == 16);
static_assert(kChangeIpKeyword.size() == 21);

bool ParseAnswer(const uint8_t* data, size_t length, DeviceRecord& record) {
  if (data == nullptr || length != kAnswerSize) return false;
  if (std::memcmp(data, kAnswerKeyword.data(), kAnswerKeyword.size()) != 0) return false;
  DeviceRecord r{};
  std::memcpy(&r.ipAddress, data + kAnswerAddress, 4);
  std::memcpy(&r.addressWord1, data + kAnswerAddress + 4, 4);
  std::memcpy(&r.addressWord2, data + kAnswerAddress + 8, 4);
  std::memcpy(r.macAddress, data + kAnswerMac, sizeof r.macAddress);
  std::memcpy(&r.commandPort, data + kAnswerCommandPort, 4);
  std::memcpy(r.modelName, data + kAnswerModel, sizeof r.modelName);
  std::memcpy(r.infoText1, data + kAnswerInfoText1, sizeof r.infoText1);
  std::memcpy(r.infoText2, data + kAnswerInfoText2, sizeof r.infoText2);
  std::memcpy(r.infoWords, data + kAnswerInfoWords, sizeof r.infoWords);
  std::memcpy(r.infoBlock, data + kAnswerInfoBlock, sizeof r.infoBlock);
  std::memcpy(&r.tailWord1, data + kAnswerTailWord1, 4);
  std::memcpy(&r.tailWord2, data + kAnswerTailWord2, 4);
  record = r;
  return true;
}

ChangeIpRequest BuildChangeIpRequest(const ChangeIPParam& param) {
  ChangeIpRequest request{};
  std::memcpy(request.data(), kChangeIpKeyword.data(), kChangeIpKeyword.size());
  std::memcpy(request.data() + 24, &param, sizeof param);
  return request;
}

bool IsConfirmation(const uint8_t* data, size_t length, const ChangeIpRequest& request) {
  return data != nullptr && length == request.size() && std::memcmp(data, request.data(), request.size()) == 0;
}

}  // namespace vkt::discovery
