// A started library, an emulator with one camera serving its command port,
// and the helpers the camera tests share.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "api/call_frame.h"
#include "api/library.h"
#include "emulated_network.h"
#include "test_support.h"

namespace vkttest {

class CameraTest : public EmulatedNetwork {
 protected:
  void SetUp() override {
    EmulatedNetwork::SetUp();
    config = MakeCamera("127.0.0.10", 0x10);
    id = emulator.addCamera(config);
    StartEmulator();
  }
  // Adds the camera without a picture callback; the handle.
  int AddCamera() {
    DeviceRecord record = RecordOf(config);
    int handle = VKT_AddCamera(&record, nullptr, 1000);
    EXPECT_NE(handle, -1) << std::hex << VKT_GetLastError();
    return handle;
  }
  std::shared_ptr<vkt::CameraContext> Context(int handle) { return vkt::Library::Instance().Registry().Find(handle); }

  vktemu::CameraConfig config;
  int id = -1;
};

// The camera added (without a picture callback), its handle and context.
class AddedCameraTest : public CameraTest {
 protected:
  void SetUp() override {
    CameraTest::SetUp();
    handle = AddCamera();
    camera = Context(handle);
    ASSERT_NE(camera, nullptr);
    // The context's short connection at creation reaches the emulator's
    // accept loop a moment later; tests that count connections start after it.
    if (camera->HostAddress() != 0) {
      ASSERT_TRUE(WaitFor([&] { return emulator.connectionCount(id) >= 1; }, std::chrono::seconds(5)));
    }
  }

  int handle = -1;
  std::shared_ptr<vkt::CameraContext> camera;
};

}  // namespace vkttest
