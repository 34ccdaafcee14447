// The settings family against an emulated camera: what is sent, what the
// cache answers, the checks on replies and arguments, and the actions.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "camera_fixture.h"
#include "settings/settings_family.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using vkttest::FailsWith;
using vkttest::MakeCamera;
using vkttest::RecordOf;

class Settings : public vkttest::HandleTest {
 protected:
  // Makes the next exchange fail (and so the connection and cache drop).
  void FailOneExchange() {
    vktemu::CommandFaults busy;
    busy.status = -2;
    emulator.setCommandFaults(id, 1301, busy);
    int mode;
    EXPECT_TRUE(FailsWith(VKT_GetWorkMode(camera, &mode, 1000), VKT_ERR_CAMERA_BUSY));
    emulator.clearCommandFaults(id);
  }
};

TEST_F(Settings, CachedReadAsksOnceUntilTheConnectionDrops) {
  DeviceInfo first, second;
  ASSERT_EQ(VKT_GetDeviceInfo(camera, &first, 1000), 0);
  ASSERT_EQ(VKT_GetDeviceInfo(camera, &second, 1000), 0);
  EXPECT_EQ(std::memcmp(&first, &second, sizeof first), 0);
  EXPECT_EQ(Sent(1000), 1u);
  FailOneExchange();
  ASSERT_EQ(VKT_GetDeviceInfo(camera, &second, 1000), 0);
  EXPECT_EQ(Sent(1000), 2u) << "a failed exchange empties every slot";
}

TEST_F(Settings, DefaultAndCurrentValuesHaveTheirOwnSlots) {
  DeviceInfo info;
  ASSERT_EQ(VKT_GetDeviceInfo(camera, &info, 1000), 0);
  ASSERT_EQ(VKT_GetDefaultDeviceInfo(camera, &info, 1000), 0);
  ASSERT_EQ(VKT_GetDefaultDeviceInfo(camera, &info, 1000), 0);
  EXPECT_EQ(Sent(1000), 1u);
  EXPECT_EQ(Sent(1002), 1u);
}

TEST_F(Settings, UnchangedSetSendsNothing) {
  DeviceInfo info;
  ASSERT_EQ(VKT_GetDeviceInfo(camera, &info, 1000), 0);
  EXPECT_EQ(VKT_SetDeviceInfo(camera, &info, 1000), 0);
  EXPECT_EQ(Sent(1001), 0u);
  info.bytes[99] ^= 0x5A;
  EXPECT_EQ(VKT_SetDeviceInfo(camera, &info, 1000), 0);
  EXPECT_EQ(VKT_SetDeviceInfo(camera, &info, 1000), 0);
  ASSERT_EQ(Sent(1001), 1u);
  // The record went out whole, as payload.
  auto traffic = emulator.commandTraffic(id);
  const auto& set = traffic.back();
  EXPECT_EQ(set.command, 1001);
  ASSERT_EQ(set.length, 100u);
  EXPECT_EQ(std::memcmp(set.bytes.data() + 28, &info, 100), 0);
  // And the cache now answers with what was set.
  DeviceInfo again;
  ASSERT_EQ(VKT_GetDeviceInfo(camera, &again, 1000), 0);
  EXPECT_EQ(std::memcmp(&again, &info, sizeof info), 0);
  EXPECT_EQ(Sent(1000), 1u);
}

TEST_F(Settings, ExposureAndWhiteBalanceAlwaysAskAndAlwaysSend) {
  int mode = -1;
  ASSERT_EQ(VKT_SetAE(camera, 1, 1000), 0);
  ASSERT_EQ(VKT_SetAE(camera, 1, 1000), 0);
  ASSERT_EQ(VKT_GetAE(camera, &mode, 1000), 0);
  ASSERT_EQ(VKT_GetAE(camera, &mode, 1000), 0);
  EXPECT_EQ(Sent(705), 2u);
  EXPECT_EQ(Sent(704), 2u);
  ASSERT_EQ(VKT_SetAWB(camera, 0, 1000), 0);
  ASSERT_EQ(VKT_GetAWB(camera, &mode, 1000), 0);
  ASSERT_EQ(VKT_GetAWB(camera, &mode, 1000), 0);
  EXPECT_EQ(Sent(708), 2u);
  // The value travels in the header.
  auto traffic = emulator.commandTraffic(id);
  EXPECT_EQ(traffic[0].value, 1);
  EXPECT_EQ(traffic[0].length, 0u);
}

TEST_F(Settings, ParameterRecordsGoByValueAsPayload) {
  AEParam ae{{0x11223344, -7}};
  ASSERT_EQ(VKT_SetAEParam(camera, ae, 1000), 0);
  AWBParam awb{{1, 2, 3}};
  ASSERT_EQ(VKT_SetAWBParam(camera, awb, 1000), 0);
  auto traffic = emulator.commandTraffic(id);
  ASSERT_EQ(traffic.size(), 2u);
  EXPECT_EQ(traffic[0].command, 1045);
  ASSERT_EQ(traffic[0].length, 8u);
  EXPECT_EQ(std::memcmp(traffic[0].bytes.data() + 28, &ae, 8), 0);
  EXPECT_EQ(traffic[1].command, 1057);
  ASSERT_EQ(traffic[1].length, 12u);
  EXPECT_EQ(std::memcmp(traffic[1].bytes.data() + 28, &awb, 12), 0);
  AEParam read;
  ASSERT_EQ(VKT_GetAEParam(camera, &read, 1000), 0);
  ASSERT_EQ(VKT_GetAEParam(camera, &read, 1000), 0);
  EXPECT_EQ(Sent(1044), 2u) << "written-only slot: reads always ask";
}

TEST_F(Settings, TwoStateValuesFromANewerCameraMustBeZeroOrOne) {
  emulator.setReplyValue(id, 704, 5);
  int mode = 0;
  EXPECT_EQ(VKT_GetAE(camera, &mode, 1000), 0) << "same protocol version: any value";
  EXPECT_EQ(mode, 5);
  emulator.setReplyVersion(id, 258);
  mode = 0;
  EXPECT_TRUE(FailsWith(VKT_GetAE(camera, &mode, 1000), VKT_ERR_REPLY_OUT_OF_RANGE));
  EXPECT_EQ(mode, 5) << "the value is written before the check";
  emulator.setReplyValue(id, 720, 1);
  EXPECT_EQ(VKT_GetFlashLampState(camera, &mode, 1000), 0);
  EXPECT_EQ(mode, 1);
  emulator.setReplyValue(id, 708, -1);
  EXPECT_TRUE(FailsWith(VKT_GetAWB(camera, &mode, 1000), VKT_ERR_REPLY_OUT_OF_RANGE));
  emulator.setReplyVersion(id, 256);
  EXPECT_EQ(VKT_GetAWB(camera, &mode, 1000), 0) << "an older camera: any value";
}

TEST_F(Settings, RotationIsOneOfFourAngles) {
  EXPECT_TRUE(FailsWith(VKT_SetImageRotation(camera, 45, 1000), VKT_ERR_INVALID_PARAM));
  EXPECT_EQ(emulator.commandTraffic(id).size(), 0u) << "refused before any traffic";
  ASSERT_EQ(VKT_SetImageRotation(camera, 90, 1000), 0);
  ASSERT_EQ(VKT_SetImageRotation(camera, 90, 1000), 0);
  EXPECT_EQ(Sent(1181), 1u);
  ASSERT_EQ(VKT_SetImageRotation(camera, 180, 1000), 0);
  int degrees = -1;
  ASSERT_EQ(VKT_GetImageRotation(camera, &degrees, 1000), 0);
  EXPECT_EQ(degrees, 180);
  EXPECT_EQ(Sent(1180), 0u) << "answered from the set";
}

TEST_F(Settings, RotationReplyOutsideTheAnglesIsRefusedAndAskedAgain) {
  emulator.setReplyValue(id, 1180, 45);
  int degrees = 12345;
  EXPECT_TRUE(FailsWith(VKT_GetImageRotation(camera, &degrees, 1000), VKT_ERR_INVALID_PARAM));
  EXPECT_EQ(degrees, 12345) << "untouched";
  emulator.setReplyValue(id, 1180, 270);
  EXPECT_EQ(VKT_GetImageRotation(camera, &degrees, 1000), 0);
  EXPECT_EQ(degrees, 270);
  EXPECT_EQ(VKT_GetImageRotation(camera, &degrees, 1000), 0);
  EXPECT_EQ(Sent(1180), 2u);
  emulator.setReplyValue(id, 1182, 90);
  EXPECT_EQ(VKT_GetDefaultImageRotation(camera, &degrees, 1000), 0);
  EXPECT_EQ(degrees, 90);
}

TEST_F(Settings, HotRegionAndStreamPictureTypeBelongToOneModel) {
  HotRegion region{};
  int type = 0;
  EXPECT_TRUE(FailsWith(VKT_GetHotRegion(camera, &region, 1000), VKT_ERR_NOT_SUPPORTED));
  EXPECT_TRUE(FailsWith(VKT_SetHotRegion(camera, &region, 1000), VKT_ERR_NOT_SUPPORTED));
  EXPECT_TRUE(FailsWith(VKT_GetDefaultStreamPicType(camera, &type, 1000), VKT_ERR_NOT_SUPPORTED));
  EXPECT_TRUE(FailsWith(VKT_SetStreamPicType(camera, 2, 1000), VKT_ERR_NOT_SUPPORTED));
  EXPECT_EQ(emulator.commandTraffic(id).size(), 0u);
}

TEST_F(Settings, TheOneModelHasThemCached) {
  emulator.stop();
  emulator.clearTraffic();
  auto kp = MakeCamera("127.0.0.11", 0x11, "VKT-N2F0Kp");
  int kpId = emulator.addCamera(kp);
  StartEmulator();
  DeviceRecord record = RecordOf(kp);
  int handle = VKT_AddCamera(&record, nullptr, 1000);
  ASSERT_NE(handle, -1);
  emulator.setReplyValue(kpId, 1064, 3);
  int type = 0;
  ASSERT_EQ(VKT_GetStreamPicType(handle, &type, 1000), 0);
  ASSERT_EQ(VKT_GetStreamPicType(handle, &type, 1000), 0);
  EXPECT_EQ(type, 3);
  EXPECT_EQ(VKT_SetStreamPicType(handle, 3, 1000), 0);
  size_t sent = 0;
  for (const auto& r : emulator.commandTraffic(kpId)) sent += r.command == 1064 || r.command == 1065;
  EXPECT_EQ(sent, 1u);
  HotRegion region{};
  region.word[15] = 99;
  ASSERT_EQ(VKT_SetHotRegion(handle, &region, 1000), 0);
  HotRegion read{};
  ASSERT_EQ(VKT_GetHotRegion(handle, &read, 1000), 0);
  EXPECT_EQ(read.word[15], 99);
}

TEST_F(Settings, TemperatureDecoding) {
  const struct {
    int32_t reply;
    int degrees;
  } cases[] = {{0x0C80, 12}, {static_cast<int32_t>(0x8C80), -12}, {0x12340C80, 12}, {0x001F, 0},
               {0x0010 | (1 << 5), 0}, {static_cast<int32_t>(0x8000 | (12 << 5)), -1}, {0x7FE0, 127}};
  for (const auto& c : cases) {
    emulator.setReplyValue(id, 200, c.reply);
    int degrees = 999;
    ASSERT_EQ(VKT_GetCameraTemperature(camera, &degrees, 1000), 0);
    EXPECT_EQ(degrees, c.degrees) << std::hex << c.reply;
    EXPECT_EQ(vkt::settings::DecodeTemperature(c.reply), c.degrees);
  }
}

TEST_F(Settings, ShortReplyRecordIsCompletedWithZeros) {
  std::vector<uint8_t> tenBytes(10, 0x42);
  emulator.setReplyPayload(id, 1002, tenBytes);
  DeviceInfo info;
  std::memset(&info, 0xEE, sizeof info);
  ASSERT_EQ(VKT_GetDefaultDeviceInfo(camera, &info, 1000), 0);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(info.bytes[i], i < 10 ? 0x42 : 0) << i;
}

TEST_F(Settings, NullPointersFailBeforeAnyTraffic) {
  EXPECT_TRUE(FailsWith(VKT_GetDeviceInfo(camera, nullptr, 1000), VKT_ERR_INVALID_PARAM));
  EXPECT_TRUE(FailsWith(VKT_SetDeviceInfo(camera, nullptr, 1000), VKT_ERR_INVALID_PARAM));
  EXPECT_EQ(VKT_GetAE(camera, nullptr, 1000), 1);
  EXPECT_TRUE(FailsWith(VKT_GetState(camera, nullptr, 1000), VKT_ERR_INVALID_PARAM));
  EXPECT_EQ(emulator.commandTraffic(id).size(), 0u);
  // The frame's own checks come first.
  EXPECT_TRUE(FailsWith(VKT_GetDeviceInfo(camera, nullptr, 0), VKT_ERR_TIMEOUT));
}

TEST_F(Settings, PlainValuesPassUnchecked) {
  emulator.setReplyValue(id, 1301, -5);
  emulator.setReplyValue(id, 1302, 77);
  emulator.setReplyValue(id, 1314, 0x7fffffff);
  int v = 0;
  ASSERT_EQ(VKT_GetWorkMode(camera, &v, 1000), 0);
  EXPECT_EQ(v, -5);
  ASSERT_EQ(VKT_GetCameraMode(camera, &v, 1000), 0);
  EXPECT_EQ(v, 77);
  ASSERT_EQ(VKT_GetElectricity(camera, &v, 1000), 0);
  EXPECT_EQ(v, 0x7fffffff);
  ASSERT_EQ(VKT_SetPicPixel(camera, 3, 1000), 0);
  ASSERT_EQ(VKT_SetLevelValue(camera, -9, 1000), 0);
  ASSERT_EQ(VKT_SetLevelValue(camera, -9, 1000), 0);
  EXPECT_EQ(Sent(1311), 2u) << "not cached";
  auto traffic = emulator.commandTraffic(id);
  EXPECT_EQ(traffic.back().value, -9);
}

TEST_F(Settings, StateTellsWhetherTheCameraAnswers) {
  int state = -1;
  EXPECT_EQ(VKT_GetState(camera, &state, 1000), 0);
  EXPECT_EQ(state, 0);
  state = -1;
  EXPECT_EQ(VKT_GetState(camera, &state, 0), 1);
  EXPECT_EQ(state, -1) << "a frame failure writes nothing";
  emulator.setCommandListening(id, false);
  emulator.closeCommandConnections(id);
  ASSERT_TRUE(vkttest::WaitFor([&] { return emulator.openConnectionCount(id) == 0; }, 2s));
  for (int i = 0; i < 2; ++i) {  // the first may find the old connection closed
    EXPECT_EQ(VKT_GetState(camera, &state, 500), 1);
    EXPECT_EQ(state, 1);
    EXPECT_TRUE(VKT_GetLastError() == VKT_ERR_NETWORK || VKT_GetLastError() == VKT_ERR_TIMEOUT);
  }
}

TEST_F(Settings, ResetSendsTheModesCommandAndEndsTheConnection) {
  EXPECT_TRUE(FailsWith(VKT_ResetCamera(camera, 2, 1000), VKT_ERR_INVALID_PARAM));
  EXPECT_EQ(emulator.commandTraffic(id).size(), 0u);
  DeviceInfo info;
  ASSERT_EQ(VKT_GetDeviceInfo(camera, &info, 1000), 0);
  ASSERT_EQ(VKT_ResetCamera(camera, 1, 1000), 0);
  EXPECT_EQ(Sent(104), 1u);
  ASSERT_EQ(VKT_GetDeviceInfo(camera, &info, 1000), 0);
  EXPECT_EQ(Sent(1000), 2u) << "the cache went with the connection";
  ASSERT_EQ(VKT_ResetCamera(camera, 0, 1000), 0);
  EXPECT_EQ(Sent(103), 1u);
}

class SaveConfig : public Settings {};

TEST_F(SaveConfig, CompletesWhenTheCameraConfirmsInTime) {
  EXPECT_EQ(VKT_SaveConfig(camera, 1000), 0);
  EXPECT_EQ(VKT_GetParamState(camera, 100), 0);
  EXPECT_EQ(Sent(100), 1u);
}

TEST_F(SaveConfig, LateConfirmationLeavesTheCameraSavingUntilItComes) {
  vktemu::CommandFaults slow;
  slow.completionDelayMs = 600;
  emulator.setCommandFaults(id, 100, slow);
  DeviceInfo info;
  ASSERT_EQ(VKT_GetDeviceInfo(camera, &info, 1000), 0);

  EXPECT_TRUE(FailsWith(VKT_SaveConfig(camera, 200), VKT_ERR_SAVE_PENDING));
  // While saving: calls that would contact the camera wait for the
  // confirmation and give up with the same code; the cache still answers.
  int mode;
  EXPECT_TRUE(FailsWith(VKT_GetWorkMode(camera, &mode, 50), VKT_ERR_SAVE_PENDING));
  EXPECT_EQ(Sent(1301), 0u);
  EXPECT_EQ(VKT_GetDeviceInfo(camera, &info, 50), 0);
  EXPECT_TRUE(FailsWith(VKT_GetParamState(camera, 10), VKT_ERR_SAVE_PENDING));
  // Once the confirmation arrives within its budget, the camera is ready.
  EXPECT_EQ(VKT_GetParamState(camera, 2000), 0);
  EXPECT_EQ(VKT_GetParamState(camera, 10), 0);
  EXPECT_EQ(VKT_GetWorkMode(camera, &mode, 1000), 0);
}

TEST_F(SaveConfig, FailedConfirmationIsReported) {
  vktemu::CommandFaults failing;
  failing.completionStatus = 3;
  emulator.setCommandFaults(id, 100, failing);
  EXPECT_EQ(VKT_SaveConfig(camera, 1000), 0) << "any non-negative status completes the call itself";
  failing.completionStatus = -1;
  emulator.setCommandFaults(id, 100, failing);
  EXPECT_TRUE(FailsWith(VKT_SaveConfig(camera, 1000), VKT_ERR_SAVE_FAILED));
}

TEST_F(SaveConfig, PendingConfirmationWithABadStatusFailsTheNextCommand) {
  vktemu::CommandFaults slow;
  slow.completionDelayMs = 300;
  slow.completionStatus = 4;
  emulator.setCommandFaults(id, 100, slow);
  EXPECT_TRUE(FailsWith(VKT_SaveConfig(camera, 100), VKT_ERR_SAVE_PENDING));
  EXPECT_TRUE(FailsWith(VKT_GetParamState(camera, 2000), VKT_ERR_SAVE_FAILED));
  EXPECT_EQ(VKT_GetParamState(camera, 10), 0) << "the pending state ended";
}

TEST_F(SaveConfig, ParamStateWithNothingPendingSendsNothing) {
  EXPECT_EQ(VKT_GetParamState(camera, 100), 0);
  EXPECT_EQ(emulator.commandTraffic(id).size(), 0u);
  EXPECT_EQ(emulator.connectionCount(id) <= 1, true);
}

}  // namespace
