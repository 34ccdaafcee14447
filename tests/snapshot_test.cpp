// Snapshots: the request on its own connection, the push registration
// before it, and the failures that drop both connections.
#include <gtest/gtest.h>

#include "camera_fixture.h"
#include "picture_collector.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;

class Snapshot : public vkttest::CameraTest {
 protected:
  int AddWithCallback() {
    DeviceRecord record = vkttest::RecordOf(config);
    int handle = VKT_AddCamera(&record, vkttest::PictureCollector::Callback, 1000);
    EXPECT_NE(handle, -1);
    return handle;
  }
  std::vector<vktemu::CommandRecord> Requests(int32_t command) {
    std::vector<vktemu::CommandRecord> found;
    for (const auto& r : emulator.commandTraffic(id)) {
      if (r.command == command) found.push_back(r);
    }
    return found;
  }
};

TEST_F(Snapshot, WithoutPictureCallbackNothingIsSent) {
  int camera = AddCamera();
  EXPECT_EQ(VKT_SnapPicture(camera, 5, 1000), 1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_NO_PICTURE_CALLBACK);
  EXPECT_EQ(emulator.commandTraffic(id).size(), 0u);
}

TEST_F(Snapshot, FirstRegistersThenAsksOnItsOwnConnection) {
  int camera = AddCamera();  // no callback yet: nothing registered
  DeviceRecord record = vkttest::RecordOf(config);
  ASSERT_EQ(VKT_AddCamera(&record, vkttest::PictureCollector::Callback, 1000), camera);
  emulator.clearCommandTraffic(id);
  emulator.closeCommandConnections(id);
  ASSERT_TRUE(vkttest::WaitFor([&] { return emulator.openConnectionCount(id) == 0; }, 2s));
  auto context = Context(camera);
  context->Disconnect();  // a fresh connection: the registration is due again

  ASSERT_EQ(VKT_SnapPicture(camera, 77, 1000), 0) << std::hex << VKT_GetLastError();
  int mode;
  ASSERT_EQ(VKT_GetWorkMode(camera, &mode, 1000), 0);  // commands in between
  ASSERT_EQ(VKT_SnapPicture(camera, 78, 1000), 0);
  auto traffic = emulator.commandTraffic(id);
  ASSERT_EQ(traffic.size(), 4u);
  EXPECT_EQ(traffic[0].command, 1080);
  EXPECT_EQ(traffic[1].command, 102);
  EXPECT_EQ(traffic[2].command, 1301);
  EXPECT_EQ(traffic[3].command, 102);
  EXPECT_NE(traffic[1].connection, traffic[0].connection) << "a connection of its own";
  EXPECT_EQ(traffic[3].connection, traffic[1].connection) << "kept for the next snapshot";
  EXPECT_EQ(traffic[1].value, 77);
  EXPECT_EQ(traffic[1].sequence, 0) << "the snapshot counter is its own";
  EXPECT_EQ(traffic[3].sequence, 1);
  EXPECT_EQ(traffic[1].length, 0u);
  EXPECT_EQ(VKT_GetLastError(), VKT_OK);
}

TEST_F(Snapshot, ReplyOnlyNeedsANonNegativeStatus) {
  int camera = AddWithCallback();
  vktemu::CommandFaults odd;
  odd.commandDelta = 5;
  odd.sequenceDelta = 9;
  emulator.setCommandFaults(id, 102, odd);
  EXPECT_EQ(VKT_SnapPicture(camera, 0, 1000), 0);
  EXPECT_EQ(VKT_GetLastError(), VKT_OK);
}

TEST_F(Snapshot, RefusalDropsBothConnectionsAndTheNextRegistersAgain) {
  int camera = AddWithCallback();
  vktemu::CommandFaults refuse;
  refuse.status = -1;
  emulator.setCommandFaults(id, 102, refuse);
  EXPECT_EQ(VKT_SnapPicture(camera, 0, 1000), 1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_SNAP_REFUSED);
  ASSERT_TRUE(vkttest::WaitFor([&] { return emulator.openConnectionCount(id) == 0; }, 2s)) << "both closed";
  emulator.clearCommandFaults(id);
  emulator.clearCommandTraffic(id);
  EXPECT_EQ(VKT_SnapPicture(camera, 0, 1000), 0);
  auto traffic = emulator.commandTraffic(id);
  ASSERT_EQ(traffic.size(), 2u);
  EXPECT_EQ(traffic[0].command, 1080);
  EXPECT_EQ(traffic[1].command, 102);
}

TEST_F(Snapshot, SilentCameraIsNoReplyWithinTheBudget) {
  int camera = AddWithCallback();
  vktemu::CommandFaults silent;
  silent.noReply = true;
  emulator.setCommandFaults(id, 102, silent);
  auto start = vkttest::Clock::now();
  EXPECT_EQ(VKT_SnapPicture(camera, 0, 300), 1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_SNAP_NO_REPLY);
  EXPECT_GE(vkttest::MsSince(start), 290);
  EXPECT_LT(vkttest::MsSince(start), 300 + 250);
}

TEST_F(Snapshot, UnreachableSnapshotPortIsNotSent) {
  int camera = AddWithCallback();  // registered on the command connection
  emulator.setCommandListening(id, false);  // new connections refused
  EXPECT_EQ(VKT_SnapPicture(camera, 0, 500), 1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_SNAP_NOT_SENT);
}

TEST_F(Snapshot, FailedRegistrationKeepsItsOwnCode) {
  int camera = AddCamera();
  DeviceRecord record = vkttest::RecordOf(config);
  vktemu::CommandFaults busy;
  busy.status = -2;
  emulator.setCommandFaults(id, 1080, busy);
  ASSERT_EQ(VKT_AddCamera(&record, vkttest::PictureCollector::Callback, 1000), camera);
  EXPECT_EQ(VKT_SnapPicture(camera, 0, 1000), 1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_CAMERA_BUSY);
  EXPECT_TRUE(Requests(102).empty());
}

}  // namespace
