// A started library, an emulator with one camera serving its command port,
// and the helpers the camera tests share.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "api/call_frame.h"
#include "api/library.h"
#include "emulated_network.h"
#include "picture_collector.h"
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
  // Requests of `command` the camera has seen.
  size_t Sent(int32_t command) {
    size_t n = 0;
    for (const auto& r : emulator.commandTraffic(id)) n += r.command == command;
    return n;
  }
  // The commands the camera has seen, in their order.
  std::vector<int32_t> CommandsSent() {
    std::vector<int32_t> commands;
    for (const auto& r : emulator.commandTraffic(id)) commands.push_back(r.command);
    return commands;
  }

  vktemu::CameraConfig config;
  int id = -1;
};

// The camera added without a picture callback: its handle only.
class HandleTest : public CameraTest {
 protected:
  void SetUp() override {
    CameraTest::SetUp();
    camera = AddCamera();
    ASSERT_NE(camera, -1);
  }
  int camera = -1;
};

// The camera added with the picture collector's callback, the collector
// empty before and after each test.
class PictureTest : public CameraTest {
 protected:
  void SetUp() override {
    CameraTest::SetUp();
    PictureCollector::Instance().Clear();
    DeviceRecord record = RecordOf(config);
    camera = VKT_AddCamera(&record, PictureCollector::Callback, 1000);
    ASSERT_NE(camera, -1) << std::hex << VKT_GetLastError();
    port = vkt::Library::Instance().PictureListenPort();
  }
  void TearDown() override {
    CameraTest::TearDown();
    PictureCollector::Instance().Clear();
  }
  int camera = -1;
  uint16_t port = 0;  // the library's picture port
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
