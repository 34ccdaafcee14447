// Pictures at site scale: every picture connection is read as its bytes
// arrive, so stuck or slow cameras hold only their own connections; the
// caps on open connections and buffered bytes and the per-camera share,
// each provoked and counted; callbacks of one camera side by side; deletion
// and close with pictures in flight.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "api/library.h"
#include "camera_fixture.h"
#include "picture_collector.h"
#include "picture_sender.h"
#include "slow_link_site.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using vkttest::BuildPicture;
using vkttest::PictureCollector;
using vkttest::PictureWords;

// Sanitized builds spend more CPU on the bytes than the links take to carry
// them: their timing says nothing about the links.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

CameraStatistics StatsOf(int camera) {
  CameraStatistics stats{};
  stats.size = sizeof stats;
  EXPECT_EQ(VKT_GetCameraStatistics(camera, &stats, 1000), 0);
  return stats;
}

LibraryStatistics LibraryStats() {
  LibraryStatistics stats{};
  stats.size = sizeof stats;
  EXPECT_EQ(VKT_GetLibraryStatistics(&stats), 0);
  return stats;
}

// Connections that carry the first `bytes` of a picture and then nothing.
class StuckConnections {
 public:
  StuckConnections(const std::string& from, uint16_t port, int count, size_t bytes, size_t announced = 100000) {
    PictureWords words;
    words.totalLength = static_cast<uint32_t>(announced);
    const auto picture = BuildPicture(std::max<size_t>(bytes, 76), words);
    for (int i = 0; i < count; ++i) {
      const int fd = vkttest::ConnectFrom(from, port);
      if (fd < 0) break;
      if (bytes > 0) vkttest::SendAll(fd, picture.data(), bytes);
      fds_.push_back(fd);
    }
  }
  ~StuckConnections() {
    for (int fd : fds_) close(fd);
  }
  size_t Count() const { return fds_.size(); }

 private:
  std::vector<int> fds_;
};

// A registered camera with a callback (the emulator's, at 127.0.0.10) and
// more registered cameras without one, at 127.0.0.11 on.
class ScalePictures : public vkttest::PictureTest {
 protected:
  void SetUp() override {
    // Hundreds of sockets on both ends in one process.
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = std::min<rlim_t>(files.rlim_max, 8192);
    setrlimit(RLIMIT_NOFILE, &files);
    vkt::Library::Instance().SetPictureLimits(limits);
    PictureTest::SetUp();
  }
  void TearDown() override {
    PictureTest::TearDown();
    vkt::Library::Instance().SetPictureLimits({});
  }
  // A camera at `address` that nothing answers for: its pictures are
  // accepted (it is registered) but never delivered (no callback).
  int AddSilentCamera(const std::string& address, uint8_t macTail) {
    DeviceRecord record = vkttest::RecordOf(vkttest::MakeCamera(address, macTail));
    const int handle = VKT_AddCamera(&record, nullptr, 100);
    EXPECT_NE(handle, -1);
    return handle;
  }
  // Pushes `n` pictures one after another from the emulated camera's
  // address; the longest wait for one to be delivered, in milliseconds.
  long long PushAndTimeEach(int n, size_t size) {
    long long longest = 0;
    for (int i = 0; i < n; ++i) {
      const size_t before = PictureCollector::Instance().Count();
      const auto start = vkttest::Clock::now();
      EXPECT_TRUE(vkttest::Push(from, port, BuildPicture(size)));
      if (!PictureCollector::Instance().WaitFor(before + 1, 3s)) return -1;
      longest = std::max(longest, vkttest::MsSince(start));
    }
    return longest;
  }

  vkt::PictureLimits limits;
  const std::string from = "127.0.0.10";
};

TEST_F(ScalePictures, StuckConnectionsOfOneCameraNeitherDelayAnotherNorPassTheirShare) {
  const int faulty = AddSilentCamera("127.0.0.11", 0x11);
  StuckConnections stuck("127.0.0.11", port, 16, 24);
  ASSERT_EQ(stuck.Count(), 16u);
  // Eight held, the eight past the share closed unread.
  ASSERT_TRUE(vkttest::WaitFor([&] { return StatsOf(faulty).picturesDroppedOverShare == 8; }, 2s));
  EXPECT_EQ(StatsOf(faulty).pictureConnectionsOpen, 8u);
  EXPECT_EQ(StatsOf(faulty).pictureConnections, 16u);
  // Pictures of the healthy camera each take milliseconds, not windows.
  const long long longest = PushAndTimeEach(20, 50000);
  ASSERT_GE(longest, 0) << "a picture did not arrive";
  EXPECT_LT(longest, 300);
  // The stuck ones end with their windows.
  ASSERT_TRUE(vkttest::WaitFor([&] { return StatsOf(faulty).picturesDroppedTimeWindow == 8; }, 3s));
  EXPECT_EQ(StatsOf(faulty).pictureConnectionsOpen, 0u);
  EXPECT_EQ(StatsOf(camera).picturesDelivered, 20u);
}

TEST_F(ScalePictures, AThousandConnectionsAtOnceAndPicturesStillFlow) {
  // 100 registered cameras each holding 5 stuck connections, 300 strangers
  // sending a picture nobody reads, 200 more connections of the 100 that
  // pass their share.
  std::vector<int> silent;
  for (int i = 0; i < 100; ++i) silent.push_back(AddSilentCamera("127.0.1." + std::to_string(i + 1), static_cast<uint8_t>(i)));
  std::vector<std::unique_ptr<StuckConnections>> held;
  for (int i = 0; i < 100; ++i) held.push_back(std::make_unique<StuckConnections>("127.0.1." + std::to_string(i + 1), port, 5, 30));
  std::vector<std::unique_ptr<StuckConnections>> strangers;
  for (int i = 0; i < 300; ++i) strangers.push_back(std::make_unique<StuckConnections>("127.0.2." + std::to_string(i % 250 + 1), port, 1, 500));
  for (int i = 0; i < 100; ++i) held.push_back(std::make_unique<StuckConnections>("127.0.1." + std::to_string(i + 1), port, 5, 30));

  ASSERT_TRUE(vkttest::WaitFor([&] { return LibraryStats().pictureConnectionsOpen == 800; }, 5s))
      << LibraryStats().pictureConnectionsOpen;
  const long long longest = PushAndTimeEach(10, 200000);
  ASSERT_GE(longest, 0) << "a picture did not arrive";
  EXPECT_LT(longest, 500);
  uint64_t overShare = 0;
  for (int handle : silent) overShare += StatsOf(handle).picturesDroppedOverShare;
  EXPECT_EQ(overShare, 200u);
  EXPECT_GE(LibraryStats().unknownSenderConnections, 300u);
  EXPECT_GE(LibraryStats().pictureConnectionsPeak, 800u);
  // Every window ends: nothing stays open or buffered.
  ASSERT_TRUE(vkttest::WaitFor([&] { return LibraryStats().pictureConnectionsOpen == 0; }, 4s));
  EXPECT_EQ(LibraryStats().pictureBytesBuffered, 0u);
}

TEST_F(ScalePictures, ConnectionsThatSendNothingTakeNoShareUntilHandedOverAndStillEnd) {
  // The camera's whole share of connections open and silent: its picture
  // on the next connection still arrives at once, because a connection is
  // handed over only with its first bytes (or after about a second of
  // silence), and then the silent ones end by their windows all the same.
  StuckConnections silent(from, port, static_cast<int>(limits.perCamera), 0);
  ASSERT_EQ(silent.Count(), limits.perCamera);
  const long long longest = PushAndTimeEach(1, 20000);
  ASSERT_GE(longest, 0) << "the picture did not arrive";
  EXPECT_LT(longest, 500);
  EXPECT_EQ(StatsOf(camera).picturesDroppedOverShare, 0u);
  ASSERT_TRUE(vkttest::WaitFor([&] { return StatsOf(camera).picturesDroppedTimeWindow == limits.perCamera; }, 6s))
      << StatsOf(camera).picturesDroppedTimeWindow;
  EXPECT_EQ(StatsOf(camera).pictureConnectionsOpen, 0u);
  EXPECT_EQ(StatsOf(camera).picturesDelivered, 1u);
}

class SmallConnectionCap : public ScalePictures {
 protected:
  void SetUp() override {
    limits.connections = 4;
    ScalePictures::SetUp();
  }
};

TEST_F(SmallConnectionCap, AtTheCapNewConnectionsWaitInTheBacklogInsteadOfBeingDropped) {
  const int faulty = AddSilentCamera("127.0.0.11", 0x11);
  StuckConnections stuck("127.0.0.11", port, 4, 24);
  ASSERT_TRUE(vkttest::WaitFor([&] { return LibraryStats().pictureConnectionsOpen == 4; }, 2s));
  // Never more than the cap open meanwhile (the peak counter is the
  // process's, so watch the figure itself).
  std::atomic<bool> watching{true};
  std::atomic<uint64_t> most{0};
  std::thread watcher([&] {
    while (watching) {
      most = std::max<uint64_t>(most, LibraryStats().pictureConnectionsOpen);
      std::this_thread::sleep_for(1ms);
    }
  });
  // The healthy camera's picture waits until a stuck one's window ends,
  // then arrives whole.
  const auto start = vkttest::Clock::now();
  ASSERT_TRUE(vkttest::Push(from, port, BuildPicture(3000)));
  ASSERT_TRUE(PictureCollector::Instance().WaitFor(1, 4s));
  EXPECT_GE(vkttest::MsSince(start), 700);
  ASSERT_TRUE(vkttest::WaitFor([&] { return StatsOf(faulty).picturesDroppedTimeWindow == 4; }, 2s));
  watching = false;
  watcher.join();
  EXPECT_EQ(most.load(), 4u);
  EXPECT_EQ(StatsOf(camera).picturesDelivered, 1u);
}

class SmallBufferCap : public ScalePictures {
 protected:
  void SetUp() override {
    limits.bufferBytes = 1024 * 1024;
    ScalePictures::SetUp();
  }
};

TEST_F(SmallBufferCap, APictureWithoutRoomWaitsForItAndIsCountedWhenNoneFrees) {
  const int faulty = AddSilentCamera("127.0.0.11", 0x11);
  PictureWords words;
  words.totalLength = 900 * 1024;
  const auto picture = BuildPicture(900 * 1024, words);
  // The first picture has 300 KiB, the second 700 KiB of the 1 MiB: then
  // the first's next 300 KiB find only 24 KiB of room, and it waits for
  // the rest until its window (the earlier one) ends.
  const int first = vkttest::ConnectFrom("127.0.0.11", port);
  ASSERT_TRUE(vkttest::SendAll(first, picture.data(), 300 * 1024));
  ASSERT_TRUE(vkttest::WaitFor([&] { return LibraryStats().pictureBytesBuffered == 300 * 1024; }, 2s));
  const int second = vkttest::ConnectFrom("127.0.0.11", port);
  ASSERT_TRUE(vkttest::SendAll(second, picture.data(), 700 * 1024));
  ASSERT_TRUE(vkttest::WaitFor([&] { return LibraryStats().pictureBytesBuffered == 1000 * 1024; }, 2s));
  std::thread more([&] { vkttest::SendAll(first, picture.data() + 300 * 1024, 300 * 1024); });
  ASSERT_TRUE(vkttest::WaitFor([&] { return StatsOf(faulty).picturesDroppedBufferCap == 1; }, 3s));
  more.join();
  ASSERT_TRUE(vkttest::WaitFor([&] { return StatsOf(faulty).picturesDroppedTimeWindow == 1; }, 2s));
  EXPECT_EQ(LibraryStats().pictureBytesBufferedPeak, 1024u * 1024u);
  close(first);
  close(second);
  // Room again: a picture as large as the whole cap arrives.
  ASSERT_TRUE(vkttest::WaitFor([&] { return LibraryStats().pictureBytesBuffered == 0; }, 2s));
  const auto whole = BuildPicture(1024 * 1024);
  ASSERT_TRUE(vkttest::Push(from, port, whole));
  ASSERT_TRUE(PictureCollector::Instance().WaitFor(1, 3s));
  EXPECT_EQ(PictureCollector::Instance().All()[0].bytes, whole);
}

TEST_F(ScalePictures, OneCamerasCallbacksRunSideBySide) {
  // Each callback waits until a second one of the same camera runs too.
  static std::mutex mutex;
  static std::condition_variable cv;
  static int inside = 0, most = 0;
  inside = most = 0;
  PictureCollector::Instance().onDelivery = [](const vkttest::Delivery&) {
    std::unique_lock<std::mutex> lock(mutex);
    most = std::max(most, ++inside);
    cv.notify_all();
    cv.wait_for(lock, 2s, [] { return most >= 2; });
    --inside;
  };
  std::thread a([&] { vkttest::Push(from, port, BuildPicture(4000)); });
  std::thread b([&] { vkttest::Push(from, port, BuildPicture(5000)); });
  a.join();
  b.join();
  ASSERT_TRUE(PictureCollector::Instance().WaitFor(2, 5s));
  EXPECT_EQ(most, 2) << "the second callback waited for the first";
}

// Many connections trickling pictures of two cameras while one of them is
// deleted (or the library closed): no callback of it after the call returns.
class InFlight : public ScalePictures {
 protected:
  void StartTrickling(const std::string& address, int connections) {
    for (int i = 0; i < connections; ++i) {
      senders.emplace_back([this, address] {
        while (!stop) vkttest::Push(address, port, BuildPicture(20000), 2000, 1ms);
      });
    }
  }
  void StopTrickling() {
    stop = true;
    for (auto& t : senders) t.join();
    senders.clear();
  }
  std::atomic<bool> stop{false};
  std::vector<std::thread> senders;
};

std::atomic<bool> g_returned{false};
std::atomic<int> g_lateCallbacks{0};
std::atomic<int> g_callbacks{0};

void CountLate(char*, int, PictureInfo*, int) {
  g_callbacks++;
  if (g_returned) g_lateCallbacks++;
  std::this_thread::sleep_for(2ms);  // a callback with work to do, so deletions meet it
}

TEST_F(InFlight, NoCallbackAfterDelCameraOrCloseReturns) {
  // The emulated camera's own pictures, and a second camera's.
  vktemu::CameraConfig second = vkttest::MakeCamera("127.0.0.12", 0x12);
  emulator.stop();
  emulator.addCamera(second);
  StartEmulator();
  DeviceRecord record = vkttest::RecordOf(second);
  const int other = VKT_AddCamera(&record, CountLate, 1000);
  ASSERT_NE(other, -1);
  g_returned = false;
  g_lateCallbacks = g_callbacks = 0;
  StartTrickling("127.0.0.12", 24);
  StartTrickling(from, 8);
  ASSERT_TRUE(vkttest::WaitFor([] { return g_callbacks >= 20; }, 5s));
  ASSERT_EQ(VKT_DelCamera(other), 0);
  g_returned = true;
  std::this_thread::sleep_for(200ms);  // time for a late callback to show
  EXPECT_EQ(g_lateCallbacks.load(), 0);
  // The other camera's pictures go on.
  const size_t before = PictureCollector::Instance().Count();
  EXPECT_TRUE(PictureCollector::Instance().WaitFor(before + 5, 3s));

  // Close with pictures still arriving: nothing after it returns, nothing left open.
  static std::atomic<bool> closed{false};
  static std::atomic<int> afterClose{0};
  closed = false;
  afterClose = 0;
  PictureCollector::Instance().onDelivery = [](const vkttest::Delivery&) {
    if (closed) afterClose++;
  };
  ASSERT_EQ(VKT_Close(), 0);
  closed = true;
  StopTrickling();
  EXPECT_EQ(afterClose.load(), 0);
  LibraryStatistics stats = LibraryStats();
  EXPECT_EQ(stats.pictureConnectionsOpen, 0u);
  EXPECT_EQ(stats.pictureBytesBuffered, 0u);
}

TEST_F(ScalePictures, HostileConnectionsCostOnlyTheirOwnWindow) {
  // Lies about its length and sends past it; trickles a byte at a time;
  // resets mid-picture: none delivered, each counted, and a good picture of
  // the same camera in between arrives once, whole and as its own.
  PictureWords shortLie;
  shortLie.totalLength = 3000;
  auto pastEnd = BuildPicture(4000, shortLie);
  std::thread liar([&] { vkttest::Push(from, port, pastEnd); });
  std::thread trickle([&] { vkttest::Push(from, port, BuildPicture(2000), 1, 1ms); });
  int reset = vkttest::ConnectFrom(from, port);
  ASSERT_GE(reset, 0);
  const auto partial = BuildPicture(9000);
  vkttest::SendAll(reset, partial.data(), 5000);
  linger hard{1, 0};
  setsockopt(reset, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  close(reset);
  const auto good = BuildPicture(7000);
  ASSERT_TRUE(vkttest::Push(from, port, good));
  liar.join();
  trickle.join();
  ASSERT_TRUE(vkttest::WaitFor([&] {
    const CameraStatistics s = StatsOf(camera);
    return s.picturesDroppedClosedEarly + s.picturesDroppedTimeWindow >= 3;
  }, 4s));
  const auto all = PictureCollector::Instance().All();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].bytes, good);
  EXPECT_EQ(all[0].info.camera, camera);
}

// Cameras behind real slow links (rate-limited by the kernel) each push one
// picture at the same moment: they arrive side by side, in about the time
// of one link, not a few links at a time.
TEST(SlowLinkPictures, FortyEightCamerasAtOnceTakeAboutOneLinksTime) {
  vkttest::SlowLinkSite site;
  std::string error;
  ASSERT_TRUE(site.Create(48, "20mbit", VKT_EMULATOR, &error)) << error;
  ASSERT_EQ(VKT_Init(VKT_SDK_VERSION, nullptr), 0);
  PictureCollector::Instance().Clear();
  constexpr size_t kPicture = 512 * 1024;
  for (const auto& c : site.Cameras()) {
    DeviceRecord record;
    vkttest::FillDeviceRecord(c, record);
    ASSERT_NE(VKT_AddCamera(&record, PictureCollector::Callback, 3000), -1) << std::hex << VKT_GetLastError();
    ASSERT_EQ(site.Control("pfault " + std::to_string(c.id) + " padTo " + std::to_string(kPicture)), "ok\n");
    ASSERT_EQ(site.Control("pfault " + std::to_string(c.id) + " sendBufferBytes 16384"), "ok\n");
  }
  // One link's time for one picture, measured here.
  auto start = vkttest::Clock::now();
  ASSERT_EQ(site.Control("trigger 0 1"), "ok\n");
  ASSERT_TRUE(PictureCollector::Instance().WaitFor(1, 5s));
  const long long one = vkttest::MsSince(start);

  start = vkttest::Clock::now();
  for (const auto& c : site.Cameras()) ASSERT_EQ(site.Control("trigger " + std::to_string(c.id) + " 2"), "ok\n");
  ASSERT_TRUE(PictureCollector::Instance().WaitFor(49, 10s)) << PictureCollector::Instance().Count();
  const long long all = vkttest::MsSince(start);
  // Eight at a time would need six links' times.
  if (!kSanitized) {
    EXPECT_LT(all, 3 * one + 300) << "one picture " << one << " ms, 48 at once " << all << " ms";
  }
  for (const auto& d : PictureCollector::Instance().All()) EXPECT_GE(d.bytes.size(), kPicture);
  VKT_Close();
}

}  // namespace
