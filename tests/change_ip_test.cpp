// Changing a camera's address by broadcast: the request on the wire, the
// confirmation rules and the time-out.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "emulated_network.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using vkttest::Clock;
using vkttest::MakeCamera;
using vkttest::MsSince;

class ChangeIp : public vkttest::EmulatedNetwork {
 protected:
  ChangeIPParam ParamFor(const vktemu::CameraConfig& camera, const char* newAddress) {
    ChangeIPParam param{};
    param.ipAddress = inet_addr(newAddress);
    param.addressWord1 = inet_addr("255.255.0.0");
    param.addressWord2 = inet_addr("127.0.0.254");
    std::memcpy(param.macAddress, camera.mac.data(), 6);
    return param;
  }
};

TEST_F(ChangeIp, CameraTakesTheNewAddressAndIsFoundThere) {
  const auto camera = MakeCamera("127.0.0.10", 0x10);
  int id = emulator.addCamera(camera);
  emulator.addCamera(MakeCamera("127.0.0.11", 0x11));
  StartEmulator();

  ChangeIPParam param = ParamFor(camera, "127.0.0.99");
  auto start = Clock::now();
  EXPECT_EQ(VKT_ChangeCameraIP(&param, 2000), 0);
  EXPECT_LT(MsSince(start), 1000) << "returns at the confirmation, not at the time-out";
  EXPECT_EQ(VKT_GetLastError(), VKT_OK);

  // The request on the wire: keyword, three zero bytes, the parameter.
  auto traffic = emulator.discoveryTraffic();
  ASSERT_EQ(traffic.size(), 1u);
  ASSERT_EQ(traffic[0].bytes.size(), 44u);
  EXPECT_EQ(std::memcmp(traffic[0].bytes.data(), "oKrimu_IPNC_Change_IP", 21), 0);
  EXPECT_EQ(std::memcmp(traffic[0].bytes.data() + 24, &param, 20), 0);

  EXPECT_EQ(emulator.camera(id).address, "127.0.0.99");
  EXPECT_EQ(emulator.camera(id).addressWord1, inet_addr("255.255.0.0"));
  EXPECT_EQ(emulator.camera(1).address, "127.0.0.11") << "only the named MAC changes";

  DeviceRecord records[4];
  int count = 0;
  ASSERT_EQ(VKT_SearchCamera(records, 4, &count, 200), 0);
  ASSERT_EQ(count, 2);
  std::vector<std::string> addresses{vkttest::DottedAddress(records[0].ipAddress),
                                     vkttest::DottedAddress(records[1].ipAddress)};
  EXPECT_NE(std::find(addresses.begin(), addresses.end(), "127.0.0.99"), addresses.end());
}

TEST_F(ChangeIp, UnknownMacTimesOutAfterAboutTheTimeout) {
  emulator.addCamera(MakeCamera("127.0.0.10", 0x10));
  StartEmulator();
  ChangeIPParam param = ParamFor(MakeCamera("127.0.0.1", 0x77), "127.0.0.50");
  auto start = Clock::now();
  EXPECT_EQ(VKT_ChangeCameraIP(&param, 500), 1);
  const long long took = MsSince(start);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_TIMEOUT);
  EXPECT_GE(took, 495);
  EXPECT_LT(took, 800);
}

TEST_F(ChangeIp, EchoDifferingInAnyByteIsIgnored) {
  const auto camera = MakeCamera("127.0.0.10", 0x10);
  vktemu::DiscoveryFaults faults;
  faults.corruptEcho = true;  // changes a filler byte only
  emulator.setDiscoveryFaults(emulator.addCamera(camera), faults);
  StartEmulator();
  ChangeIPParam param = ParamFor(camera, "127.0.0.60");
  auto start = Clock::now();
  EXPECT_EQ(VKT_ChangeCameraIP(&param, 400), 1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_TIMEOUT);
  EXPECT_GE(MsSince(start), 395) << "kept waiting after the wrong echo";
}

TEST_F(ChangeIp, OtherDatagramsDoNotEndTheWait) {
  const auto camera = MakeCamera("127.0.0.10", 0x10);
  vktemu::DiscoveryFaults faults;
  faults.echoDelayMs = 500;
  int id = emulator.addCamera(camera);
  emulator.setDiscoveryFaults(id, faults);
  StartEmulator();

  // While the camera takes its time, the caller's socket gets a foreign
  // 44-byte datagram, a discovery-sized one and one too long for any buffer
  // of the old design; none of them ends the wait.
  std::thread decoys([&] {
    if (!emulator.waitForDatagrams(1, 2s)) return;
    auto request = emulator.discoveryTraffic().front();
    auto foreign = request.bytes;
    foreign[43] ^= 0xFF;
    for (const auto& bytes : {foreign, std::vector<uint8_t>(396, 1), std::vector<uint8_t>(60000, 2)}) {
      emulator.sendRaw(request.sourceAddress, request.sourcePort, bytes);
    }
  });
  ChangeIPParam param = ParamFor(camera, "127.0.0.61");
  auto start = Clock::now();
  EXPECT_EQ(VKT_ChangeCameraIP(&param, 2000), 0);
  decoys.join();
  EXPECT_GE(MsSince(start), 490);
  EXPECT_EQ(emulator.camera(id).address, "127.0.0.61");
}

TEST_F(ChangeIp, ForeignDatagramLeavesOnlyTheTimeLeft) {
  StartEmulator();
  std::thread decoy([&] {
    if (!emulator.waitForDatagrams(1, 2s)) return;
    auto request = emulator.discoveryTraffic().front();
    std::this_thread::sleep_for(300ms);  // the scenario: a stray datagram at 300 ms
    emulator.sendRaw(request.sourceAddress, request.sourcePort, std::vector<uint8_t>(44, 7));
  });
  ChangeIPParam param{};
  auto start = Clock::now();
  EXPECT_EQ(VKT_ChangeCameraIP(&param, 1000), 1);
  const long long took = MsSince(start);
  decoy.join();
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_TIMEOUT);
  EXPECT_GE(took, 995);
  EXPECT_LT(took, 1250) << "the wait after the stray datagram is what was left, not a new full wait";
}

TEST_F(ChangeIp, ZeroTimeoutPollsOnce) {
  StartEmulator();
  ChangeIPParam param{};
  auto start = Clock::now();
  EXPECT_EQ(VKT_ChangeCameraIP(&param, 0), 1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_TIMEOUT);
  EXPECT_LT(MsSince(start), 100);
}

TEST_F(ChangeIp, NullParameterFailsAndSendsNothing) {
  StartEmulator();
  EXPECT_EQ(VKT_ChangeCameraIP(nullptr, 100), 1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_INVALID_PARAM);
  // Anything the null call had sent would arrive before this marker.
  ChangeIPParam marker{};
  marker.ipAddress = 0x01020304;
  EXPECT_EQ(VKT_ChangeCameraIP(&marker, 0), 1);
  ASSERT_TRUE(emulator.waitForDatagrams(1, 2s));
  auto traffic = emulator.discoveryTraffic();
  ASSERT_GE(traffic.size(), 1u);
  EXPECT_EQ(std::memcmp(traffic[0].bytes.data() + 24, &marker, 20), 0);
}

TEST_F(ChangeIp, SilentCameraTakesNothing) {
  const auto camera = MakeCamera("127.0.0.10", 0x10);
  vktemu::DiscoveryFaults faults;
  faults.ignoreChangeIp = true;
  int id = emulator.addCamera(camera);
  emulator.setDiscoveryFaults(id, faults);
  StartEmulator();
  ChangeIPParam param = ParamFor(camera, "127.0.0.62");
  EXPECT_EQ(VKT_ChangeCameraIP(&param, 200), 1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_TIMEOUT);
  EXPECT_EQ(emulator.camera(id).address, "127.0.0.10");
}

}  // namespace
