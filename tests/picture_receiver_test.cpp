// Pictures pushed by cameras: framing, PictureInfo, the one-second window,
// senders that are no camera, and stopping with pictures half received.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "camera_fixture.h"
#include "picture/camera_time.h"
#include "picture_collector.h"
#include "picture_sender.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using vkttest::BuildPicture;
using vkttest::PictureCollector;
using vkttest::PictureWords;
using vkttest::Push;

class Pictures : public vkttest::PictureTest {
 protected:
  // No further callback came, after giving a delivery every chance to happen.
  void ExpectNoDelivery() {
    const size_t before = PictureCollector::Instance().Count();
    EXPECT_FALSE(PictureCollector::Instance().WaitFor(before + 1, 300ms));
  }

  const std::string from = "127.0.0.10";
};

TEST_F(Pictures, DeliveredWholeWithItsInfo) {
  PictureWords words;
  const auto picture = BuildPicture(5000, words);
  ASSERT_TRUE(Push(from, port, picture));
  ASSERT_TRUE(PictureCollector::Instance().WaitFor(1, 2s));
  auto d = PictureCollector::Instance().All()[0];
  EXPECT_EQ(d.length, 5000);
  EXPECT_EQ(d.bytes, picture);
  EXPECT_EQ(d.value, words.word12);
  EXPECT_EQ(d.info.camera, camera);
  EXPECT_EQ(d.info.recordWord8, words.word8);
  EXPECT_EQ(d.info.recordWord24, words.word24);
  EXPECT_EQ(d.info.recordWord28, words.word28);
  EXPECT_EQ(d.info.recordWord32, words.word32);
  EXPECT_EQ(d.info.recordWord40, words.word40);
  EXPECT_EQ(d.info.recordWord36, words.word36);
  const CameraTime t = vkt::ToCameraTime(words.seconds, words.microseconds);
  EXPECT_EQ(std::memcmp(&d.info.time, &t, sizeof t), 0);
  EXPECT_EQ(d.info.time.milliseconds, 250);
  EXPECT_NE(d.thread, std::this_thread::get_id()) << "callbacks run on library threads";
}

TEST_F(Pictures, ShortApp1SegmentHasNoLastTwoWords) {
  PictureWords words;
  words.app1Length = 46;
  words.word12 = 46;
  ASSERT_TRUE(Push(from, port, BuildPicture(300, words)));
  words.app1Length = 47;
  words.word12 = 47;
  ASSERT_TRUE(Push(from, port, BuildPicture(300, words)));
  ASSERT_TRUE(PictureCollector::Instance().WaitFor(2, 2s));
  // Receivers work in parallel: tell the pictures apart by their value.
  auto all = PictureCollector::Instance().All();
  if (all[0].value == 47) std::swap(all[0], all[1]);
  EXPECT_EQ(all[0].info.recordWord40, -1);
  EXPECT_EQ(all[0].info.recordWord36, -1);
  // The word at +40 comes first in PictureInfo, then the one at +36.
  EXPECT_EQ(all[1].info.recordWord40, 40);
  EXPECT_EQ(all[1].info.recordWord36, 36);
}

TEST_F(Pictures, WordsThatDidNotArriveReadAsZero) {
  PictureWords full;
  full.word36 = 0x36363636;
  full.word40 = 0x40404040;
  ASSERT_TRUE(Push(from, port, BuildPicture(500, full)));
  ASSERT_TRUE(PictureCollector::Instance().WaitFor(1, 2s));
  // Ends at byte 70: the word at +36 is half there, the one at +40 not at all.
  PictureWords cut;
  cut.app1Length = 47;
  auto picture = BuildPicture(76, cut);
  vkttest::PutLe(picture, 36, 70);
  picture.resize(70);
  ASSERT_TRUE(Push(from, port, picture));
  ASSERT_TRUE(PictureCollector::Instance().WaitFor(2, 2s));
  auto d = PictureCollector::Instance().All()[1];
  EXPECT_EQ(d.length, 70);
  EXPECT_EQ(d.info.recordWord36 & 0xFFFF0000, 0) << "no bytes of the earlier picture";
  EXPECT_EQ(d.info.recordWord40, 0);
}

TEST_F(Pictures, LargestPictureAcceptedOneByteMoreDropped) {
  ASSERT_TRUE(Push(from, port, BuildPicture(4194304)));
  ASSERT_TRUE(PictureCollector::Instance().WaitFor(1, 3s));
  EXPECT_EQ(PictureCollector::Instance().All()[0].length, 4194304);
  PictureWords tooLong;
  tooLong.totalLength = 4194305;
  Push(from, port, BuildPicture(5000, tooLong));
  ExpectNoDelivery();
  EXPECT_EQ(PictureCollector::Instance().Count(), 1u);
}

TEST_F(Pictures, ManySmallPiecesAreAssembled) {
  const auto picture = BuildPicture(3000);
  ASSERT_TRUE(Push(from, port, picture, 7, 1ms));
  ASSERT_TRUE(PictureCollector::Instance().WaitFor(1, 3s));
  EXPECT_EQ(PictureCollector::Instance().All()[0].bytes, picture);
}

TEST_F(Pictures, TooSlowIsDropped) {
  auto start = vkttest::Clock::now();
  Push(from, port, BuildPicture(2000), 500, 400ms);
  EXPECT_GE(vkttest::MsSince(start), 1000);
  ExpectNoDelivery();
}

TEST_F(Pictures, BadFramingIsDropped) {
  auto badMarker = BuildPicture(200);
  badMarker[21] = 0xE2;
  Push(from, port, badMarker);
  PictureWords shortApp1;
  shortApp1.app1Length = 45;
  Push(from, port, BuildPicture(200, shortApp1));
  PictureWords overlong;
  overlong.totalLength = 150;  // 200 bytes arrive: never complete
  Push(from, port, BuildPicture(200, overlong));
  ExpectNoDelivery();
  // And the receivers serve the next picture as usual.
  ASSERT_TRUE(Push(from, port, BuildPicture(200)));
  EXPECT_TRUE(PictureCollector::Instance().WaitFor(1, 2s));
}

TEST_F(Pictures, UnknownSenderIsClosedUnread) {
  int fd = vkttest::ConnectFrom("127.0.0.99", port);
  ASSERT_GE(fd, 0);
  const auto picture = BuildPicture(1000);
  vkttest::SendAll(fd, picture.data(), picture.size());
  timeval tv{2, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  char c;
  errno = 0;
  ssize_t n = recv(fd, &c, 1, 0);
  // Closed with our bytes still unread: the peer resets the connection.
  EXPECT_TRUE(n == 0 || (n < 0 && errno == ECONNRESET)) << n << " " << errno;
  close(fd);
  ExpectNoDelivery();
}

TEST_F(Pictures, CameraDeletedMidPictureGetsNoCallback) {
  int fd = vkttest::ConnectFrom(from, port);
  ASSERT_GE(fd, 0);
  const auto picture = BuildPicture(2000);
  ASSERT_TRUE(vkttest::SendAll(fd, picture.data(), 1000));
  ASSERT_EQ(VKT_DelCamera(camera), 0);
  vkttest::SendAll(fd, picture.data() + 1000, 1000);
  close(fd);
  ExpectNoDelivery();
}

TEST_F(Pictures, EarliestCameraWithTheAddressReceives) {
  auto twin = config;
  twin.mac[5] = 0x77;
  DeviceRecord record = vkttest::RecordOf(twin);
  int second = VKT_AddCamera(&record, nullptr, 1000);
  ASSERT_NE(second, -1);
  ASSERT_TRUE(Push(from, port, BuildPicture(500)));
  ASSERT_TRUE(PictureCollector::Instance().WaitFor(1, 2s));
  EXPECT_EQ(PictureCollector::Instance().All()[0].info.camera, camera);
}

TEST_F(Pictures, CloseFromACallbackIsRefused) {
  static std::atomic<int> closeResult{-5};
  PictureCollector::Instance().onDelivery = [](const vkttest::Delivery&) { closeResult = VKT_Close(); };
  ASSERT_TRUE(Push(from, port, BuildPicture(500)));
  ASSERT_TRUE(PictureCollector::Instance().WaitFor(1, 2s));
  EXPECT_EQ(closeResult.load(), 1);
}

TEST_F(Pictures, CloseIsPromptWithEightSlowSenders) {
  std::vector<int> senders;
  for (int i = 0; i < 8; ++i) {
    int fd = vkttest::ConnectFrom(from, port);
    ASSERT_GE(fd, 0);
    const auto picture = BuildPicture(100000);
    vkttest::SendAll(fd, picture.data(), 100);
    senders.push_back(fd);
  }
  auto start = vkttest::Clock::now();
  EXPECT_EQ(VKT_Close(), 0);
  EXPECT_LT(vkttest::MsSince(start), 1000);
  for (int fd : senders) close(fd);
}

TEST(CameraTime, MicrosecondsCarryIntoSeconds) {
  const CameraTime later = vkt::ToCameraTime(1700000001, 500000);
  const CameraTime carried = vkt::ToCameraTime(1700000000, 1500000);
  EXPECT_EQ(std::memcmp(&later, &carried, sizeof later), 0);
  EXPECT_EQ(carried.milliseconds, 500);
  // Before 1970 with a sub-second part: the milliseconds stay in 0..999.
  const CameraTime before = vkt::ToCameraTime(0, -1);
  EXPECT_EQ(before.milliseconds, 999);
  const CameraTime negative = vkt::ToCameraTime(-10, -250000);
  EXPECT_EQ(negative.milliseconds, 750);
  const CameraTime second = vkt::ToCameraTime(-11, 750000);
  EXPECT_EQ(std::memcmp(&negative, &second, sizeof negative), 0);
}

}  // namespace
