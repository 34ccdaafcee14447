// A started library and an emulator playing cameras beside it.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>

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

inline std::string DottedAddress(uint32_t networkOrder) {
  in_addr a{networkOrder};
  return inet_ntoa(a);
}

class EmulatedNetwork : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(VKT_Init(VKT_SDK_VERSION, nullptr), 0); }
  void TearDown() override {
    emulator.stop();
    VKT_Close();
  }
  // Starts the emulator with the cameras added so far.
  void StartEmulator() {
    std::string error;
    ASSERT_TRUE(emulator.start(&error)) << error;
  }

  vktemu::Emulator emulator;
};

}  // namespace vkttest
