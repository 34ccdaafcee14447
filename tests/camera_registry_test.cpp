// Adding and deleting cameras through the interface: one context per
// camera, the push-target registration and its skip rule, model refusal,
// adding by address, and handles.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "emulated_network.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using vkttest::FailsWith;
using vkttest::MakeCamera;
using vkttest::RecordOf;

void OnPicture(char*, int, PictureInfo*, int) {}
void OnOtherPicture(char*, int, PictureInfo*, int) {}

class Cameras : public vkttest::EmulatedNetwork {
 protected:
  size_t PushRegistrations(int camera) {
    size_t n = 0;
    for (const auto& r : emulator.commandTraffic(camera)) n += r.command == 1080;
    return n;
  }
  // The emulator serving the one camera at 127.0.0.10; `record` finds it.
  void ServeOneCamera() {
    id = emulator.addCamera(config);
    StartEmulator();
  }

  const vktemu::CameraConfig config = MakeCamera("127.0.0.10", 0x10);
  const DeviceRecord record = RecordOf(config);
  int id = -1;
};

TEST_F(Cameras, SameCameraTwiceIsOneHandleDeletedOnce) {
  ASSERT_NO_FATAL_FAILURE(ServeOneCamera());
  int first = VKT_AddCamera(&record, nullptr, 1000);
  int second = VKT_AddCamera(&record, nullptr, 1000);
  ASSERT_NE(first, -1);
  EXPECT_EQ(first, second);
  EXPECT_EQ(VKT_DelCamera(first), 0);
  EXPECT_TRUE(FailsWith(VKT_DelCamera(first), VKT_ERR_INVALID_HANDLE));
  // Added again, the camera gets a new handle: the old one stays dead.
  int third = VKT_AddCamera(&record, nullptr, 1000);
  EXPECT_NE(third, first);
  EXPECT_EQ(VKT_DelCamera(first), 1);
  EXPECT_EQ(VKT_DelCamera(third), 0);
}

TEST_F(Cameras, NoCallbackMeansNoRegistration) {
  ASSERT_NO_FATAL_FAILURE(ServeOneCamera());
  ASSERT_NE(VKT_AddCamera(&record, nullptr, 1000), -1);
  EXPECT_EQ(emulator.commandTraffic(id).size(), 0u);
  EXPECT_FALSE(emulator.pushTarget(id).set);
}

TEST_F(Cameras, CallbackRegistersTheHostAndPicturePortOnce) {
  ASSERT_NO_FATAL_FAILURE(ServeOneCamera());
  int handle = VKT_AddCamera(&record, OnPicture, 1000);
  ASSERT_NE(handle, -1) << std::hex << VKT_GetLastError();
  auto target = emulator.pushTarget(id);
  ASSERT_TRUE(target.set);
  EXPECT_EQ(vkttest::DottedAddress(target.address), "127.0.0.1");
  EXPECT_EQ(target.port, 34660);
  EXPECT_EQ(target.flag, 0);
  auto traffic = emulator.commandTraffic(id);
  ASSERT_EQ(traffic.size(), 1u);
  EXPECT_EQ(traffic[0].command, 1080);
  EXPECT_EQ(traffic[0].length, 8u);
  EXPECT_EQ(traffic[0].bytes.size(), 36u);

  // The same callback: nothing to do. Another callback: already registered
  // on this connection with the same target, so still nothing is sent.
  EXPECT_EQ(VKT_AddCamera(&record, OnPicture, 1000), handle);
  EXPECT_EQ(VKT_AddCamera(&record, OnOtherPicture, 1000), handle);
  EXPECT_EQ(VKT_AddCamera(&record, nullptr, 1000), handle);
  EXPECT_EQ(PushRegistrations(id), 1u);
}

TEST_F(Cameras, FailedRegistrationOfANewCameraCreatesNothing) {
  ASSERT_NO_FATAL_FAILURE(ServeOneCamera());
  vktemu::CommandFaults silent;
  silent.noReply = true;
  emulator.setCommandFaults(id, 1080, silent);
  auto start = vkttest::Clock::now();
  EXPECT_EQ(VKT_AddCamera(&record, OnPicture, 200), -1);
  EXPECT_LT(vkttest::MsSince(start), 200 + 250);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_NETWORK) << "replaces the registration's own time-out";
  // Nothing was registered: a later add creates the context afresh.
  emulator.clearCommandFaults(id);
  int handle = VKT_AddCamera(&record, OnPicture, 1000);
  EXPECT_NE(handle, -1);
  EXPECT_EQ(VKT_GetLastError(), VKT_OK);
}

TEST_F(Cameras, FailedRegistrationOfAKnownCameraKeepsItsHandle) {
  ASSERT_NO_FATAL_FAILURE(ServeOneCamera());
  int handle = VKT_AddCamera(&record, nullptr, 1000);
  ASSERT_NE(handle, -1);
  vktemu::CommandFaults busy;
  busy.status = -2;
  emulator.setCommandFaults(id, 1080, busy);
  EXPECT_EQ(VKT_AddCamera(&record, OnPicture, 1000), handle);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_CAMERA_BUSY);
}

TEST_F(Cameras, OnlyDrivenModelsAreAccepted) {
  StartEmulator();
  for (const char* model : {"VKT-N2F0Kq", "VKT-N2F0Kp", "VKT-R6E0Kq", "VKT-R6E0Kp", "VKT-R8E0Kq"}) {
    DeviceRecord record = RecordOf(MakeCamera("127.0.0.10", 0x10, model));
    int handle = VKT_AddCamera(&record, nullptr, 500);
    EXPECT_NE(handle, -1) << model;
    VKT_DelCamera(handle);
  }
  for (const char* model : {"VKT-R8E0Kp", "VKT-N7F0Kp", "VKT-N9G6Kq", "VKT-N2F0Kw", "VKT-N2F0K", "VKT-N2F0Kqq", ""}) {
    DeviceRecord record = RecordOf(MakeCamera("127.0.0.10", 0x10, model));
    EXPECT_EQ(VKT_AddCamera(&record, nullptr, 500), -1) << model;
    EXPECT_EQ(VKT_GetLastError(), VKT_ERR_NOT_SUPPORTED) << model;
  }
  // A name that fills all 32 bytes without a terminator is read safely.
  DeviceRecord record = RecordOf(MakeCamera("127.0.0.10", 0x10));
  std::memset(record.modelName, 'V', sizeof record.modelName);
  EXPECT_EQ(VKT_AddCamera(&record, nullptr, 500), -1);
  EXPECT_EQ(VKT_AddCamera(nullptr, nullptr, 500), -1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_INVALID_PARAM);
}

TEST_F(Cameras, SameAddressOtherMacIsAnotherCamera) {
  StartEmulator();
  DeviceRecord a = RecordOf(MakeCamera("127.0.0.10", 0x10));
  DeviceRecord b = RecordOf(MakeCamera("127.0.0.10", 0x11));
  int ha = VKT_AddCamera(&a, nullptr, 500);
  int hb = VKT_AddCamera(&b, nullptr, 500);
  EXPECT_NE(ha, -1);
  EXPECT_NE(hb, -1);
  EXPECT_NE(ha, hb);
}

TEST_F(Cameras, HandlesAreNeverSmallOrReused) {
  StartEmulator();
  std::set<int> seen;
  DeviceRecord record = RecordOf(MakeCamera("127.0.0.10", 0x10));
  for (int i = 0; i < 50; ++i) {
    int handle = VKT_AddCamera(&record, nullptr, 500);
    ASSERT_NE(handle, -1);
    EXPECT_TRUE(handle != 0 && handle != 1 && handle != -1);
    EXPECT_TRUE(seen.insert(handle).second) << "reused " << handle;
    ASSERT_EQ(VKT_DelCamera(handle), 0);
  }
}

TEST_F(Cameras, NotStarted) {
  VKT_Close();
  DeviceRecord record = RecordOf(MakeCamera("127.0.0.10", 0x10));
  EXPECT_TRUE(FailsWith(VKT_AddCamera(&record, nullptr, 100), VKT_ERR_NOT_STARTED));
  EXPECT_EQ(VKT_AddCamera_IP("127.0.0.10", nullptr, 100), -1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_NOT_STARTED);
  EXPECT_TRUE(FailsWith(VKT_DelCamera(0x100), VKT_ERR_NOT_STARTED));
}

TEST_F(Cameras, AddByAddressSearchesThenAdds) {
  emulator.addCamera(MakeCamera("127.0.0.10", 0x10));
  int id = emulator.addCamera(MakeCamera("127.0.0.11", 0x11));
  StartEmulator();
  int handle = VKT_AddCamera_IP("127.0.0.11", OnPicture, 300);
  ASSERT_NE(handle, -1) << std::hex << VKT_GetLastError();
  EXPECT_TRUE(emulator.pushTarget(id).set);
  EXPECT_GE(emulator.probeCount(), 1u);
  // The same address again is the same camera.
  EXPECT_EQ(VKT_AddCamera_IP("127.0.0.11", nullptr, 300), handle);
  // Exact text only.
  EXPECT_EQ(VKT_AddCamera_IP("127.0.0.011", nullptr, 300), -1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_CAMERA_NOT_FOUND);
  EXPECT_EQ(VKT_AddCamera_IP("127.0.0.12", nullptr, 300), -1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_CAMERA_NOT_FOUND);
  EXPECT_EQ(VKT_AddCamera_IP(nullptr, nullptr, 300), -1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_INVALID_PARAM);
}

TEST_F(Cameras, AddByAddressWithNoCameraAtAllIsNotFound) {
  StartEmulator();
  EXPECT_EQ(VKT_AddCamera_IP("127.0.0.10", nullptr, 200), -1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_CAMERA_NOT_FOUND);
}

}  // namespace
