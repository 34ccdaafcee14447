// Emulated cameras and the records a search would return for them; free of
// any test framework, so that benchmarks build the same records.
#pragma once

#include <arpa/inet.h>

#include <cstring>
#include <string>

#include "VKTNetSDK11.h"
#include "emulator.h"

namespace vkttest {

inline vktemu::CameraConfig MakeCamera(const std::string& address, uint8_t macTail,
                                       const std::string& model = "VKT-N2F0Kq") {
  vktemu::CameraConfig config;
  config.address = address;
  config.mac = {0x00, 0x1c, 0x27, 0x12, 0x34, macTail};
  config.model = model;
  config.commandPort = static_cast<uint16_t>(30000 + macTail);
  config.addressWord1 = inet_addr("255.255.255.0");
  config.addressWord2 = inet_addr("127.0.0.1");
  return config;
}

// The record a search would return for `camera`.
inline DeviceRecord RecordOf(const vktemu::CameraConfig& camera) {
  DeviceRecord record{};
  inet_pton(AF_INET, camera.address.c_str(), &record.ipAddress);
  record.addressWord1 = camera.addressWord1;
  record.addressWord2 = camera.addressWord2;
  std::memcpy(record.macAddress, camera.mac.data(), 6);
  record.commandPort = camera.commandPort;
  std::strncpy(record.modelName, camera.model.c_str(), sizeof record.modelName - 1);
  return record;
}

}  // namespace vkttest
