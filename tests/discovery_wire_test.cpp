// Parsing of discovery answers and the address-change request, byte for
// byte, including every malformed length.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "discovery/discovery_wire.h"
#include "emulated_network.h"

namespace {

using namespace vkt::discovery;

vktemu::CameraConfig RichCamera() {
  vktemu::CameraConfig c = vkttest::MakeCamera("192.168.7.21", 0x5a, "VKT-R6E0Kp");
  c.commandPort = 8000;
  c.infoText1 = "fw 2.3.4";
  c.infoText2 = std::string(32, 'N');  // fills the field: no terminator
  c.infoWords = {1, -2, 3, -4, 5, 0x7fffffff};
  for (size_t i = 0; i < c.infoBlock.size(); ++i) c.infoBlock[i] = static_cast<uint8_t>(i * 3);
  c.tailWord1 = -1;
  c.tailWord2 = 0x01020304;
  return c;
}

TEST(DiscoveryAnswer, MapsEveryFieldToTheDeviceRecord) {
  const auto config = RichCamera();
  const auto answer = vktemu::buildDiscoveryAnswer(config);
  DeviceRecord record;
  std::memset(&record, 0xEE, sizeof record);
  ASSERT_TRUE(ParseAnswer(answer.data(), answer.size(), record));

  EXPECT_EQ(record.ipAddress, inet_addr("192.168.7.21"));
  EXPECT_EQ(record.addressWord1, inet_addr("255.255.255.0"));
  EXPECT_EQ(record.addressWord2, inet_addr("127.0.0.1"));
  EXPECT_EQ(std::memcmp(record.macAddress, config.mac.data(), 6), 0);
  EXPECT_EQ(record.filler[0], 0);
  EXPECT_EQ(record.filler[1], 0);
  EXPECT_EQ(record.commandPort & 0xFFFF, 8000);
  EXPECT_STREQ(record.modelName, "VKT-R6E0Kp");
  EXPECT_STREQ(record.infoText1, "fw 2.3.4");
  EXPECT_EQ(std::string(record.infoText2, 32), std::string(32, 'N'));
  for (int i = 0; i < 6; ++i) EXPECT_EQ(record.infoWords[i], config.infoWords[static_cast<size_t>(i)]);
  EXPECT_EQ(std::memcmp(record.infoBlock, config.infoBlock.data(), 64), 0);
  EXPECT_EQ(record.tailWord1, -1);
  EXPECT_EQ(record.tailWord2, 0x01020304);

  // The record is the answer's fields copied raw, offset by offset.
  EXPECT_EQ(std::memcmp(&record, answer.data() + 16, 18), 0);
  EXPECT_EQ(std::memcmp(&record.commandPort, answer.data() + 200, 4), 0);
  EXPECT_EQ(std::memcmp(record.modelName, answer.data() + 34, 96), 0);
  EXPECT_EQ(std::memcmp(record.infoWords, answer.data() + 204, 24 + 64), 0);
  EXPECT_EQ(std::memcmp(&record.tailWord1, answer.data() + 388, 8), 0);
}

TEST(DiscoveryAnswer, OnlyExactLengthAndKeywordAreAccepted) {
  const auto answer = vktemu::buildDiscoveryAnswer(RichCamera());
  std::vector<uint8_t> bytes(answer.begin(), answer.end());
  bytes.resize(1000, 0);
  const DeviceRecord untouched{};
  for (size_t length = 0; length <= bytes.size(); ++length) {
    DeviceRecord record = untouched;
    bool parsed = ParseAnswer(bytes.data(), length, record);
    EXPECT_EQ(parsed, length == 396) << length;
    if (!parsed) {
      EXPECT_EQ(std::memcmp(&record, &untouched, sizeof record), 0) << length;
    }
  }
  for (size_t i = 0; i < 16; ++i) {
    auto bad = answer;
    bad[i] ^= 0x20;
    DeviceRecord record;
    EXPECT_FALSE(ParseAnswer(bad.data(), bad.size(), record)) << "keyword byte " << i;
  }
  DeviceRecord record;
  EXPECT_FALSE(ParseAnswer(nullptr, 396, record));
}

TEST(ChangeIpRequest, CarriesTheParameterAfterTheKeyword) {
  ChangeIPParam param{};
  param.ipAddress = inet_addr("127.0.0.77");
  param.addressWord1 = inet_addr("255.0.0.0");
  param.addressWord2 = inet_addr("127.0.0.1");
  const uint8_t mac[6] = {1, 2, 3, 4, 5, 6};
  std::memcpy(param.macAddress, mac, 6);
  param.filler[0] = 0xAB;
  param.filler[1] = 0xCD;

  const auto request = BuildChangeIpRequest(param);
  ASSERT_EQ(request.size(), 44u);
  EXPECT_EQ(std::memcmp(request.data(), "oKrimu_IPNC_Change_IP", 21), 0);
  EXPECT_EQ(request[21], 0);
  EXPECT_EQ(request[22], 0);
  EXPECT_EQ(request[23], 0);
  EXPECT_EQ(std::memcmp(request.data() + 24, &param, 20), 0);
}

TEST(ChangeIpRequest, ConfirmationMustEqualTheRequestInEveryByte) {
  ChangeIPParam param{};
  param.ipAddress = inet_addr("127.0.0.5");
  const auto request = BuildChangeIpRequest(param);
  EXPECT_TRUE(IsConfirmation(request.data(), request.size(), request));
  for (size_t i = 0; i < request.size(); ++i) {
    auto echo = request;
    echo[i] ^= 1;
    EXPECT_FALSE(IsConfirmation(echo.data(), echo.size(), request)) << "byte " << i;
  }
  std::vector<uint8_t> longer(request.begin(), request.end());
  longer.push_back(0);
  EXPECT_FALSE(IsConfirmation(longer.data(), longer.size(), request));
  EXPECT_FALSE(IsConfirmation(request.data(), 43, request));
}

}  // namespace
