// Diagnostic counters: every reason a command fails, a picture or a frame is
// dropped or a datagram is ignored, provoked once and counted exactly once.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "camera_fixture.h"
#include "picture_collector.h"
#include "stream_packets.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using vkttest::PictureCollector;
using vkttest::WaitFor;

// Every counter of the record as one array, to check that nothing but the
// expected one moved.
std::vector<uint64_t> Words(const CameraStatistics& s) {
  std::vector<uint64_t> w(24);
  std::memcpy(w.data(), reinterpret_cast<const uint8_t*>(&s) + 8, 24 * 8);
  return w;
}

class Statistics : public vkttest::PictureTest {
 protected:
  void SetUp() override {
    PictureTest::SetUp();
    context = Context(camera);
  }
  CameraStatistics Read() const { return context->Counters().Snapshot(); }
  // Waits until `field` of the counters reaches `n`.
  bool WaitForCount(uint64_t CameraStatistics::*field, uint64_t n) {
    return WaitFor([&] { return Read().*field >= n; }, 3s);
  }

  std::shared_ptr<vkt::CameraContext> context;
};

TEST_F(Statistics, TheRecordIsVersionedAndFilledOnlyAsFarAsTheCallerKnowsIt) {
  CameraStatistics full{};
  full.size = sizeof full;
  ASSERT_EQ(VKT_GetCameraStatistics(camera, &full, 1000), 0);
  EXPECT_EQ(full.size, sizeof full);
  EXPECT_EQ(full.version, static_cast<uint32_t>(VKT_STATISTICS_VERSION));
  EXPECT_EQ(full.commandsSent, 1u);  // the push registration of the new camera

  // An older, shorter record: nothing past its size is written.
  CameraStatistics older;
  std::memset(&older, 0xEE, sizeof older);
  older.size = 16;
  ASSERT_EQ(VKT_GetCameraStatistics(camera, &older, 1000), 0);
  EXPECT_EQ(older.size, 16u);
  EXPECT_EQ(older.commandsSent, 1u);
  EXPECT_EQ(older.commandsFailed, 0xEEEEEEEEEEEEEEEEu);

  CameraStatistics tiny{};
  tiny.size = 4;
  EXPECT_EQ(VKT_GetCameraStatistics(camera, &tiny, 1000), 1);
  EXPECT_EQ(static_cast<uint32_t>(VKT_GetLastError()), 0x80000006u);
  EXPECT_EQ(VKT_GetCameraStatistics(camera, nullptr, 1000), 1);
  EXPECT_EQ(VKT_GetCameraStatistics(0x7777, &full, 1000), 1);
  EXPECT_EQ(static_cast<uint32_t>(VKT_GetLastError()), 0x80000002u);

  LibraryStatistics library{};
  library.size = sizeof library;
  ASSERT_EQ(VKT_GetLibraryStatistics(&library), 0);
  EXPECT_EQ(library.version, static_cast<uint32_t>(VKT_STATISTICS_VERSION));
  EXPECT_EQ(VKT_GetLibraryStatistics(nullptr), 1);
}

TEST_F(Statistics, CommandFailuresAreCountedByClassAndReconnectionsToo) {
  struct Case {
    const char* name;
    vktemu::CommandFaults fault;
    uint64_t CameraStatistics::*field;
    uint32_t timeoutMs;
  };
  vktemu::CommandFaults slow, closed, refused, mismatched;
  slow.delayMs = 1000;
  closed.closeAfterBytes = 0;
  refused.status = -1;
  mismatched.sequenceDelta = 1;
  const Case cases[] = {{"time-out", slow, &CameraStatistics::commandTimeouts, 100},
                        {"network", closed, &CameraStatistics::commandNetworkErrors, 1000},
                        {"refusal", refused, &CameraStatistics::commandRefusals, 1000},
                        {"mismatch", mismatched, &CameraStatistics::commandMismatches, 1000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    emulator.setCommandFaults(id, 1206, c.fault);
    std::vector<uint64_t> before = Words(Read());
    int progress = 0;
    ASSERT_EQ(VKT_GetFormatSDCardProgress(camera, &progress, c.timeoutMs), 1);
    CameraStatistics after = Read();
    EXPECT_EQ(after.*c.field, 1u);
    // Sent and failed by one each, the class by one, nothing else.
    std::vector<uint64_t> expected = before;
    expected[0] += 1;
    expected[1] += 1;
    const size_t classIndex = static_cast<size_t>(
        (reinterpret_cast<const uint8_t*>(&(after.*c.field)) - reinterpret_cast<const uint8_t*>(&after) - 8) / 8);
    expected[classIndex] += 1;
    // A failure closes the connection, so this command came over a new one
    // (except the first, whose connection was the camera's first).
    expected[6] = after.reconnects;
    EXPECT_EQ(Words(after), expected);
    emulator.clearCommandFaults(id);
  }
  // Every failure above left the connection closed; each next command
  // connected again.
  EXPECT_EQ(Read().reconnects, 3u);
  int progress = 0;
  ASSERT_EQ(VKT_GetFormatSDCardProgress(camera, &progress, 1000), 0);
  EXPECT_EQ(Read().reconnects, 4u);
}

TEST_F(Statistics, EachPictureDropReasonIsCountedOnce) {
  struct Case {
    const char* name;
    vktemu::PushFaults fault;
    uint64_t CameraStatistics::*field;
  };
  vktemu::PushFaults badMarker, shortApp1, oversize, window, closedEarly;
  badMarker.badMarker = true;
  shortApp1.app1Length = 40;
  oversize.totalLength = 5u * 1024u * 1024u;
  window.totalLength = 1u << 20;  // more than will ever come
  window.holdOpen = true;
  closedEarly.sendBytes = 30;
  const Case cases[] = {{"bad marker", badMarker, &CameraStatistics::picturesDroppedBadMarker},
                        {"short APP1", shortApp1, &CameraStatistics::picturesDroppedShortApp1},
                        {"oversize", oversize, &CameraStatistics::picturesDroppedOversize},
                        {"time window", window, &CameraStatistics::picturesDroppedTimeWindow},
                        {"closed early", closedEarly, &CameraStatistics::picturesDroppedClosedEarly}};
  uint64_t dropped = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    emulator.setPushFaults(id, c.fault);
    const size_t pushed = emulator.pushedPictures(id).size();
    emulator.trigger(id, 1);
    ASSERT_TRUE(WaitForCount(c.field, 1));
    ++dropped;
    const CameraStatistics s = Read();
    EXPECT_EQ(s.picturesDroppedBadMarker + s.picturesDroppedShortApp1 + s.picturesDroppedOversize +
                  s.picturesDroppedTimeWindow + s.picturesDroppedClosedEarly + s.picturesDroppedCameraDeleted +
                  s.picturesDroppedNoCallback,
              dropped);
    EXPECT_EQ(s.picturesDelivered, 0u);
    ASSERT_TRUE(WaitFor([&] { return emulator.pushedPictures(id).size() > pushed || c.fault.holdOpen; }, 3s));
  }
  emulator.setPushFaults(id, {});
  emulator.trigger(id, 2);
  ASSERT_TRUE(WaitForCount(&CameraStatistics::picturesDelivered, 1));
  ASSERT_TRUE(PictureCollector::Instance().WaitFor(1, 1s));
  EXPECT_EQ(Read().pictureBytes, static_cast<uint64_t>(PictureCollector::Instance().All()[0].length));
}

// A connection to the picture port from `from`.
int ConnectToPicturePort(const char* from) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in local{}, to{};
  local.sin_family = to.sin_family = AF_INET;
  inet_pton(AF_INET, from, &local.sin_addr);
  to.sin_port = htons(vkt::Library::Instance().PictureListenPort());
  inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
  if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

TEST_F(Statistics, PicturesOfADeletedCameraAndFromStrangersAreCounted) {
  // The camera's picture arrives in two halves, and the camera is deleted
  // once the receiver has taken the connection for it.
  emulator.setPictureSize(id, 64, 48, 50);
  emulator.snapshot(id, 1);
  ASSERT_TRUE(WaitForCount(&CameraStatistics::picturesDelivered, 1));
  ASSERT_TRUE(PictureCollector::Instance().WaitFor(1, 1s));
  const std::vector<uint8_t> picture = PictureCollector::Instance().All()[0].bytes;
  int fd = ConnectToPicturePort(config.address.c_str());
  ASSERT_GE(fd, 0);
  const size_t half = picture.size() / 2;
  ASSERT_EQ(send(fd, picture.data(), half, 0), static_cast<ssize_t>(half));
  ASSERT_TRUE(WaitForCount(&CameraStatistics::pictureConnections, 2));
  ASSERT_EQ(VKT_DelCamera(camera), 0);
  ASSERT_EQ(send(fd, picture.data() + half, picture.size() - half, 0), static_cast<ssize_t>(picture.size() - half));
  ASSERT_TRUE(WaitForCount(&CameraStatistics::picturesDroppedCameraDeleted, 1));
  close(fd);
  EXPECT_EQ(Read().picturesDelivered, 1u);

  // A connection from an address no camera has: closed unread.
  LibraryStatistics before{};
  before.size = sizeof before;
  ASSERT_EQ(VKT_GetLibraryStatistics(&before), 0);
  fd = ConnectToPicturePort("127.0.0.99");
  ASSERT_GE(fd, 0);
  char byte;
  EXPECT_EQ(recv(fd, &byte, 1, 0), 0);  // closed by the library
  close(fd);
  LibraryStatistics after{};
  after.size = sizeof after;
  ASSERT_EQ(VKT_GetLibraryStatistics(&after), 0);
  EXPECT_EQ(after.unknownSenderConnections, before.unknownSenderConnections + 1);
}

void IgnoreFrame(char*, int, StreamInfo*, int) {}

TEST_F(Statistics, EachFrameDropAndIgnoredDatagramIsCountedOnce) {
  emulator.forceStream(id, false);
  ASSERT_EQ(VKT_StartStream(camera, IgnoreFrame, 0, 1000), 0) << std::hex << VKT_GetLastError();
  const uint16_t streamPort = emulator.streamTarget(id).port;
  ASSERT_NE(streamPort, 0);
  vkttest::Sender fromCamera(config.address, streamPort);
  vkttest::Sender stranger("127.0.0.99", streamPort);
  auto frame = [](int32_t n) { return vkttest::FramePackets(5000, n); };  // 5 packets

  fromCamera.Send(frame(1));
  ASSERT_TRUE(WaitForCount(&CameraStatistics::framesDelivered, 1));
  EXPECT_EQ(Read().streamBytes, 5000u);

  auto gap = frame(2);
  gap.erase(gap.begin() + 2);  // one lost: the last packet ends an incomplete frame
  fromCamera.Send(gap);
  ASSERT_TRUE(WaitForCount(&CameraStatistics::framesDroppedGap, 1));

  auto cut = frame(3);
  cut.pop_back();  // its end lost: the next frame's start gives it up
  fromCamera.Send(cut);
  fromCamera.Send(frame(4));
  ASSERT_TRUE(WaitForCount(&CameraStatistics::framesDelivered, 2));
  EXPECT_EQ(Read().framesDroppedGap, 2u);

  auto past = frame(5);
  int32_t beyond = 9;
  std::memcpy(past[2].data(), &beyond, 4);
  fromCamera.Send(past);
  ASSERT_TRUE(WaitForCount(&CameraStatistics::framesDroppedPastLast, 1));

  auto big = frame(6);
  const uint32_t huge = 5u * 1024u * 1024u;
  std::memcpy(big[0].data() + 4 + 32 + 4, &huge, 4);
  fromCamera.Send(big[0]);
  ASSERT_TRUE(WaitForCount(&CameraStatistics::framesDroppedOversize, 1));

  fromCamera.Send(std::vector<uint8_t>(1023, 0));
  fromCamera.Send(std::vector<uint8_t>(1025, 0));
  ASSERT_TRUE(WaitForCount(&CameraStatistics::datagramsIgnoredSize, 2));
  stranger.Send(frame(7));
  ASSERT_TRUE(WaitForCount(&CameraStatistics::datagramsIgnoredSender, 5));

  fromCamera.Send(frame(8));  // and the stream still works
  ASSERT_TRUE(WaitForCount(&CameraStatistics::framesDelivered, 3));
  const CameraStatistics s = Read();
  EXPECT_EQ(s.framesDroppedGap, 2u);
  EXPECT_EQ(s.framesDroppedPastLast, 1u);
  EXPECT_EQ(s.framesDroppedOversize, 1u);
  EXPECT_EQ(s.datagramsIgnoredSize, 2u);
  EXPECT_EQ(s.datagramsIgnoredSender, 5u);
}

TEST_F(Statistics, SearchCountsWhatIsNoCamerasAnswer) {
  vktemu::DiscoveryFaults longAnswer;
  longAnswer.answerLengthDelta = 1;
  emulator.setDiscoveryFaults(id, longAnswer);
  LibraryStatistics before{}, after{};
  before.size = after.size = sizeof before;
  ASSERT_EQ(VKT_GetLibraryStatistics(&before), 0);
  DeviceRecord records[4];
  int count = -1;
  ASSERT_EQ(VKT_SearchCamera(records, 4, &count, 400), 0);
  EXPECT_EQ(count, 0);
  ASSERT_EQ(VKT_GetLibraryStatistics(&after), 0);
  // One 397-byte answer to each of the two probes.
  EXPECT_EQ(after.discoveryDatagramsSkipped - before.discoveryDatagramsSkipped, 2u);
}

}  // namespace
