// Video streams: starting and stopping by model, the receiver pool, frames
// reassembled from datagrams, and what is ignored.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <mutex>

#include "camera_fixture.h"
#include "stream_packets.h"
#include "stream/recv_stream_thread.h"
#include "stream/stream_pool.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;

struct Frames {
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<std::vector<uint8_t>> frames;
  std::vector<StreamInfo> infos;
  std::vector<int> users;
  int stopResult = -99;
  bool tryStopInside = false;
};
Frames g_frames;

void OnFrame(char* frame, int length, StreamInfo* info, int user) {
  if (g_frames.tryStopInside) g_frames.stopResult = VKT_StartStream(info->camera, nullptr, 0, 100);
  std::lock_guard<std::mutex> lock(g_frames.mutex);
  g_frames.frames.emplace_back(frame, frame + length);
  g_frames.infos.push_back(*info);
  g_frames.users.push_back(user);
  g_frames.cv.notify_all();
}

bool WaitForFrames(size_t n, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(g_frames.mutex);
  return g_frames.cv.wait_for(lock, timeout, [&] { return g_frames.frames.size() >= n; });
}

using vkttest::FramePackets;
using vkttest::Sender;

class Streams : public vkttest::CameraTest {
 protected:
  void SetUp() override {
    CameraTest::SetUp();
    // These tests send their own datagrams; the emulated camera stays quiet.
    emulator.forceStream(id, false);
    std::lock_guard<std::mutex> lock(g_frames.mutex);
    g_frames.frames.clear();
    g_frames.infos.clear();
    g_frames.users.clear();
    g_frames.tryStopInside = false;
  }
  int AddModel(const char* address, uint8_t mac, const char* model, int* emulatorId = nullptr) {
    auto c = vkttest::MakeCamera(address, mac, model);
    int cid = emulator.addCamera(c);
    if (emulatorId != nullptr) *emulatorId = cid;
    DeviceRecord record = vkttest::RecordOf(c);
    return VKT_AddCamera(&record, nullptr, 1000);
  }
  std::vector<std::pair<int32_t, int32_t>> Commands(int cameraId) {
    std::vector<std::pair<int32_t, int32_t>> commands;
    for (const auto& r : emulator.commandTraffic(cameraId)) commands.emplace_back(r.command, r.value);
    return commands;
  }
  vkt::StreamPool& Pool() { return vkt::Library::Instance().Streams(); }
};

using CommandList = std::vector<std::pair<int32_t, int32_t>>;

TEST_F(Streams, StartAndStopByModel) {
  int kq = AddCamera();  // VKT-N2F0Kq
  int kpId = -1, r6Id = -1;
  int kp = AddModel("127.0.0.11", 0x11, "VKT-N2F0Kp", &kpId);
  int r6 = AddModel("127.0.0.12", 0x12, "VKT-R6E0Kq", &r6Id);
  for (int camera : {kq, kp, r6}) ASSERT_EQ(VKT_StartStream(camera, OnFrame, 7, 1000), 0) << std::hex << VKT_GetLastError();
  for (int camera : {kq, kp, r6}) ASSERT_EQ(VKT_StartStream(camera, nullptr, 0, 1000), 0);
  EXPECT_EQ(Commands(id), (CommandList{{1081, 0}, {501, 5}, {501, 1}}));
  EXPECT_EQ(Commands(kpId), (CommandList{{1081, 0}})) << "this model needs no mode command";
  EXPECT_EQ(Commands(r6Id), (CommandList{{1081, 0}, {501, 5}, {501, 1}}));
  // The target is the host and the port of a receiver.
  auto target = emulator.streamTarget(id);
  EXPECT_EQ(vkttest::DottedAddress(target.address), "127.0.0.1");
  EXPECT_NE(target.port, 0);
  EXPECT_EQ(target.flag, 0);
}

TEST_F(Streams, FailedModeCommandFailsOnlyWhereItMatters) {
  int kq = AddCamera();
  int r6Id = -1;
  int r6 = AddModel("127.0.0.12", 0x12, "VKT-R6E0Kq", &r6Id);
  vktemu::CommandFaults refuse;
  refuse.status = -1;
  emulator.setCommandFaults(id, 501, refuse);
  emulator.setCommandFaults(r6Id, 501, refuse);
  EXPECT_EQ(VKT_StartStream(kq, OnFrame, 0, 1000), 1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_CAMERA_REFUSED);
  EXPECT_EQ(VKT_StartStream(r6, OnFrame, 0, 1000), 0);
  // Both still hold their receivers; stops give them back.
  EXPECT_EQ(Pool().IdleCount(), 2u);
  EXPECT_EQ(VKT_StartStream(kq, nullptr, 0, 1000), 0);
  EXPECT_EQ(VKT_StartStream(r6, nullptr, 0, 1000), 0);
  EXPECT_EQ(Pool().IdleCount(), 4u);
}

TEST_F(Streams, FramesAreReassembledAndHandedOver) {
  int camera = AddCamera();
  ASSERT_EQ(VKT_StartStream(camera, OnFrame, 42, 1000), 0);
  const uint16_t port = emulator.streamTarget(id).port;
  Sender sender("127.0.0.10", port);  // another source port than the camera's: accepted
  auto packets = FramePackets(5000, 3);
  sender.Send(packets);
  ASSERT_TRUE(WaitForFrames(1, 2s));
  std::lock_guard<std::mutex> lock(g_frames.mutex);
  EXPECT_EQ(g_frames.frames[0].size(), 5000u);
  EXPECT_EQ(g_frames.frames[0][4999], static_cast<uint8_t>(4999 + 3));
  EXPECT_EQ(g_frames.infos[0].camera, camera);
  EXPECT_EQ(g_frames.infos[0].recordWord8, 3);
  EXPECT_EQ(g_frames.infos[0].recordWord28, 0x2803);
  EXPECT_EQ(g_frames.infos[0].time.milliseconds, 125);
  EXPECT_EQ(g_frames.users[0], 42);
}

TEST_F(Streams, OtherSendersAndOtherSizesAreIgnored) {
  int camera = AddCamera();
  ASSERT_EQ(VKT_StartStream(camera, OnFrame, 0, 1000), 0);
  const uint16_t port = emulator.streamTarget(id).port;
  Sender stranger("127.0.0.99", port);
  stranger.Send(FramePackets(900, 1));
  Sender camera10("127.0.0.10", port);
  auto packet = FramePackets(900, 2)[0];
  auto shorter = packet, longer = packet;
  shorter.resize(1023);
  longer.push_back(0);
  camera10.Send(shorter);
  camera10.Send(longer);
  camera10.Send(FramePackets(900, 5));  // the marker: one good frame
  ASSERT_TRUE(WaitForFrames(1, 2s));
  EXPECT_FALSE(WaitForFrames(2, 200ms));
  std::lock_guard<std::mutex> lock(g_frames.mutex);
  for (const auto& info : g_frames.infos) EXPECT_EQ(info.recordWord8, 5);
}

TEST_F(Streams, PoolOfFourHandedOutLastInFirstOut) {
  const uint16_t createdLast = Pool().Worker(3)->LocalPort();
  std::vector<int> cameras{AddCamera()};
  for (int i = 1; i < 5; ++i) {
    std::string address = "127.0.0." + std::to_string(10 + i);
    cameras.push_back(AddModel(address.c_str(), static_cast<uint8_t>(0x10 + i), "VKT-N2F0Kp"));
  }
  ASSERT_EQ(VKT_StartStream(cameras[0], OnFrame, 0, 1000), 0);
  EXPECT_EQ(emulator.streamTarget(id).port, createdLast) << "the receiver created last goes first";
  for (int i = 1; i < 4; ++i) ASSERT_EQ(VKT_StartStream(cameras[static_cast<size_t>(i)], OnFrame, 0, 1000), 0);
  EXPECT_EQ(VKT_StartStream(cameras[4], OnFrame, 0, 1000), 1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_NO_FREE_STREAM);
  // A stopped receiver is the next one handed out.
  ASSERT_EQ(VKT_StartStream(cameras[0], nullptr, 0, 1000), 0);
  ASSERT_EQ(VKT_StartStream(cameras[4], OnFrame, 0, 1000), 0);
  EXPECT_EQ(Pool().IdleCount(), 0u);
  // A deleted camera gives its receiver back.
  ASSERT_EQ(VKT_DelCamera(cameras[4]), 0);
  EXPECT_EQ(Pool().IdleCount(), 1u);
}

TEST_F(Streams, StartingAgainKeepsOneReceiver) {
  int camera = AddCamera();
  ASSERT_EQ(VKT_StartStream(camera, OnFrame, 0, 1000), 0);
  ASSERT_EQ(VKT_StartStream(camera, OnFrame, 1, 1000), 0);
  EXPECT_EQ(Pool().IdleCount(), 3u) << "the first receiver went back to the pool";
}

TEST_F(Streams, NothingIsHandedOverAfterTheStop) {
  int camera = AddCamera();
  ASSERT_EQ(VKT_StartStream(camera, OnFrame, 0, 1000), 0);
  const uint16_t port = emulator.streamTarget(id).port;
  ASSERT_EQ(VKT_StartStream(camera, nullptr, 0, 1000), 0);
  Sender sender("127.0.0.10", port);
  sender.Send(FramePackets(900, 1));
  EXPECT_FALSE(WaitForFrames(1, 300ms));
}

TEST_F(Streams, ACallbackCannotStopItsOwnStream) {
  int camera = AddCamera();
  g_frames.tryStopInside = true;
  ASSERT_EQ(VKT_StartStream(camera, OnFrame, 0, 1000), 0);
  Sender sender("127.0.0.10", emulator.streamTarget(id).port);
  sender.Send(FramePackets(900, 1));
  ASSERT_TRUE(WaitForFrames(1, 2s));
  EXPECT_EQ(g_frames.stopResult, 1) << "refused instead of waiting for itself";
  g_frames.tryStopInside = false;
  EXPECT_EQ(VKT_StartStream(camera, nullptr, 0, 1000), 0);
}

TEST_F(Streams, EmulatedCameraFramesArriveWholeDespiteLossDuplicatesAndReordering) {
  emulator.forceStream(id, std::nullopt);
  emulator.setStreamRate(id, 40);
  vktemu::StreamFaults faults;
  faults.lossRate = 0.01;
  faults.duplicateRate = 0.05;
  faults.reorder = true;
  faults.foreignDatagrams = true;
  emulator.setStreamFaults(id, faults);
  int camera = AddCamera();
  ASSERT_EQ(VKT_StartStream(camera, OnFrame, 0, 1000), 0);
  ASSERT_TRUE(WaitForFrames(5, 5s));
  ASSERT_EQ(VKT_StartStream(camera, nullptr, 0, 1000), 0);
  // Every frame handed over is one the camera sent, byte for byte: never
  // a frame with a hole or with bytes of another frame.
  auto sent = emulator.sentFrames(id);
  std::lock_guard<std::mutex> lock(g_frames.mutex);
  for (size_t f = 0; f < g_frames.frames.size(); ++f) {
    const auto& frame = g_frames.frames[f];
    bool found = false;
    for (const auto& s : sent) found = found || s == frame;
    EXPECT_TRUE(found) << "frame " << g_frames.infos[f].recordWord8 << " differs from what was sent";
    EXPECT_EQ(frame[0], 0xFF);
    EXPECT_EQ(frame[1], 0xD8);
  }
}

TEST_F(Streams, CloseStopsStreamsPromptly) {
  int camera = AddCamera();
  ASSERT_EQ(VKT_StartStream(camera, OnFrame, 0, 1000), 0);
  Sender sender("127.0.0.10", emulator.streamTarget(id).port);
  sender.Send(FramePackets(50000, 1));
  auto start = vkttest::Clock::now();
  EXPECT_EQ(VKT_Close(), 0);
  EXPECT_LT(vkttest::MsSince(start), 1000 + 1020);
  EXPECT_EQ(VKT_StartStream(camera, OnFrame, 0, 1000), 1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_NOT_STARTED);
}

}  // namespace
