// Byte layouts of the discovery datagrams: the probe, a camera's answer and
// the address-change request with its confirmation.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "VKTNetSDK11.h"

namespace vkt::discovery {

inline constexpr uint16_t kPort = 34565;
inline constexpr std::string_view kProbe = "Where_oKrimu_IPNC_Lumarest";
inline constexpr std::string_view kAnswerKeyword = "IPNC_AnswerInfo=";
inline constexpr size_t kAnswerSize = 396;
inline constexpr std::string_view kChangeIpKeyword = "oKrimu_IPNC_Change_IP";
inline constexpr size_t kChangeIpRequestSize = 44;

// Answer offsets.
inline constexpr size_t kAnswerAddress = 16;  // ipAddress, addressWord1, addressWord2
inline constexpr size_t kAnswerMac = 28;
inline constexpr size_t kAnswerModel = 34;
inline constexpr size_t kAnswerInfoText1 = 66;
inline constexpr size_t kAnswerInfoText2 = 98;
inline constexpr size_t kAnswerCommandPort = 200;
inline constexpr size_t kAnswerInfoWords = 204;
inline constexpr size_t kAnswerInfoBlock = 228;
inline constexpr size_t kAnswerTailWord1 = 388;
inline constexpr size_t kAnswerTailWord2 = 392;

// Builds `record` from a datagram of `length` bytes. False, with `record`
// untouched, unless the datagram is exactly a camera's answer.
bool ParseAnswer(const uint8_t* data, size_t length, DeviceRecord& record);

using ChangeIpRequest = std::array<uint8_t, kChangeIpRequestSize>;
// The request that carries `param` byte for byte (the three bytes after the
// keyword are zero).
ChangeIpRequest BuildChangeIpRequest(const ChangeIPParam& param);
// A confirmation is the request sent back unchanged.
bool IsConfirmation(const uint8_t* data, size_t length, const ChangeIpRequest& request);

}  // namespace vkt::discovery
