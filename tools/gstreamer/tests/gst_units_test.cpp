// The element's parts that need no camera: the JPEG frame header reader
// (untrusted bytes) and the bounded, leaky hand-over queue.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <vector>

#include "frame_queue.h"
#include "jpeg_header.h"

// LeakSanitizer: GLib allocates once in its load-time constructor and never
// frees (not built with the sanitizer, not ours). Only allocations made
// while libraries load are let through; GLib has no frame pointers, so
// finding the loader in the stack takes the full unwinder.
extern "C" const char* __lsan_default_suppressions() { return "leak:_dl_init\n"; }
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

namespace {

using vktgst::ReadJpegSize;

void Segment(std::vector<uint8_t>& out, uint8_t marker, const std::vector<uint8_t>& body) {
  size_t length = body.size() + 2;
  out.insert(out.end(), {0xFF, marker, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
  out.insert(out.end(), body.begin(), body.end());
}

// SOI, APP0, DQT-like filler, DHT, SOF0 (precision 8, height, width, one
// component), SOS and a few scan bytes.
std::vector<uint8_t> Jpeg(uint16_t width, uint16_t height, uint8_t sof = 0xC0) {
  std::vector<uint8_t> j = {0xFF, 0xD8};
  Segment(j, 0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
  Segment(j, 0xDB, std::vector<uint8_t>(65, 1));
  Segment(j, 0xC4, {0x00, 0x01, 0x02, 0x03});  // DHT sits among the SOF codes
  Segment(j, sof,
          {8, static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height), static_cast<uint8_t>(width >> 8),
           static_cast<uint8_t>(width), 1, 1, 0x11, 0});
  Segment(j, 0xDA, {1, 1, 0, 0, 63, 0});
  j.insert(j.end(), {0x12, 0x34, 0xFF, 0xD9});
  return j;
}

TEST(JpegHeader, ReadsTheFrameHeaderPastOtherSegments) {
  auto j = Jpeg(1920, 1080);
  auto size = ReadJpegSize(j.data(), j.size());
  ASSERT_TRUE(size);
  EXPECT_EQ(size->width, 1920);
  EXPECT_EQ(size->height, 1080);
  // Progressive and other frame types carry the same header.
  auto p = Jpeg(640, 480, 0xC2);
  ASSERT_TRUE(ReadJpegSize(p.data(), p.size()));
  EXPECT_EQ(ReadJpegSize(p.data(), p.size())->width, 640);
  // Fill bytes before a marker are allowed.
  std::vector<uint8_t> filled = {0xFF, 0xD8, 0xFF, 0xFF};
  filled.insert(filled.end(), j.begin() + 3, j.end());
  ASSERT_TRUE(ReadJpegSize(filled.data(), filled.size()));
  EXPECT_EQ(ReadJpegSize(filled.data(), filled.size())->height, 1080);
}

TEST(JpegHeader, RefusesWhatIsNoJpegOrIsCutShort) {
  EXPECT_FALSE(ReadJpegSize(nullptr, 100));
  std::vector<uint8_t> text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'};
  EXPECT_FALSE(ReadJpegSize(text.data(), text.size()));
  auto j = Jpeg(320, 240);
  // Every prefix that ends inside the frame header (11 bytes with its
  // marker and length) is refused, never read past (AddressSanitizer
  // watches the copies).
  size_t sof = 0;
  for (size_t i = 2; i + 1 < j.size(); ++i)
    if (j[i] == 0xFF && j[i + 1] == 0xC0) sof = i;
  ASSERT_GT(sof, 0u);
  for (size_t cut = 0; cut < sof + 13; ++cut) {
    std::vector<uint8_t> prefix(j.begin(), j.begin() + static_cast<long>(cut));
    EXPECT_FALSE(ReadJpegSize(prefix.data(), prefix.size())) << "cut at " << cut;
  }
  std::vector<uint8_t> whole(j.begin(), j.begin() + static_cast<long>(sof + 13));
  EXPECT_TRUE(ReadJpegSize(whole.data(), whole.size()));
}

TEST(JpegHeader, RefusesLengthsPastTheEndScansFirstAndZeroSizes) {
  auto j = Jpeg(320, 240);
  auto longApp0 = j;
  longApp0[4] = 0xFF;  // APP0 announces 65 KB
  EXPECT_FALSE(ReadJpegSize(longApp0.data(), longApp0.size()));
  auto shortLength = j;
  shortLength[5] = 1;  // a length below its own two bytes
  shortLength[4] = 0;
  EXPECT_FALSE(ReadJpegSize(shortLength.data(), shortLength.size()));

  std::vector<uint8_t> scanFirst = {0xFF, 0xD8};
  Segment(scanFirst, 0xDA, {1, 1, 0, 0, 63, 0});
  Segment(scanFirst, 0xC0, {8, 0, 240, 1, 64, 1, 1, 0x11, 0});
  EXPECT_FALSE(ReadJpegSize(scanFirst.data(), scanFirst.size()));

  auto zero = Jpeg(0, 240);
  EXPECT_FALSE(ReadJpegSize(zero.data(), zero.size()));

  std::vector<uint8_t> shortSof = {0xFF, 0xD8};
  Segment(shortSof, 0xC0, {8, 0, 240});  // the width is missing
  shortSof.insert(shortSof.end(), 16, 0);
  EXPECT_FALSE(ReadJpegSize(shortSof.data(), shortSof.size()));
}

class FrameQueueTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { gst_init(nullptr, nullptr); }

  // A one-byte buffer holding `n`, so the test can tell frames apart.
  static vktgst::QueuedFrame Frame(uint8_t n) {
    return vktgst::QueuedFrame{gst_buffer_new_memdup(&n, 1), 1, 1, GST_CLOCK_TIME_NONE};
  }
  static uint8_t Number(const vktgst::QueuedFrame& f) {
    uint8_t n = 0;
    gst_buffer_extract(f.buffer, 0, &n, 1);
    return n;
  }
  // Pops everything queued, in order.
  static std::vector<uint8_t> Drain(vktgst::FrameQueue& q, uint64_t* firstDrops) {
    std::vector<uint8_t> out;
    while (q.Size() > 0) {
      vktgst::QueuedFrame f;
      uint64_t drops = 0;
      EXPECT_EQ(q.Pop(&f, &drops), vktgst::FrameQueue::PopResult::kFrame);
      if (out.empty()) *firstDrops = drops;
      out.push_back(Number(f));
      gst_buffer_unref(f.buffer);
    }
    return out;
  }
};

TEST_F(FrameQueueTest, LeakyDownstreamKeepsTheNewestAndUpstreamTheOldest) {
  vktgst::FrameQueue down;
  down.Configure(2, vktgst::Leaky::kDownstream);
  for (uint8_t i = 1; i <= 5; ++i) down.Push(Frame(i));
  uint64_t drops = 0;
  EXPECT_EQ(Drain(down, &drops), (std::vector<uint8_t>{4, 5}));
  EXPECT_EQ(drops, 3u);  // the first frame after the gap says so
  EXPECT_EQ(down.Dropped(), 3u);

  vktgst::FrameQueue up;
  up.Configure(2, vktgst::Leaky::kUpstream);
  for (uint8_t i = 1; i <= 5; ++i) up.Push(Frame(i));
  EXPECT_EQ(Drain(up, &drops), (std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(up.Dropped(), 3u);

  // Under the limit nothing is dropped, and the gap count starts again.
  up.Push(Frame(9));
  EXPECT_EQ(Drain(up, &drops), (std::vector<uint8_t>{9}));
  EXPECT_EQ(drops, 0u);
}

TEST_F(FrameQueueTest, FlushingReleasesAWaitingPopAndClearingFreesFrames) {
  vktgst::FrameQueue q;
  q.Configure(4, vktgst::Leaky::kDownstream);
  auto waiting = std::async(std::launch::async, [&q] {
    vktgst::QueuedFrame f;
    uint64_t drops = 0;
    return q.Pop(&f, &drops);
  });
  EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  q.SetFlushing(true);
  ASSERT_EQ(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(waiting.get(), vktgst::FrameQueue::PopResult::kFlushing);

  // While flushing nothing is handed out; afterwards the queued frame is.
  q.Push(Frame(7));
  vktgst::QueuedFrame f;
  uint64_t drops = 0;
  EXPECT_EQ(q.Pop(&f, &drops), vktgst::FrameQueue::PopResult::kFlushing);
  q.SetFlushing(false);
  ASSERT_EQ(q.Pop(&f, &drops), vktgst::FrameQueue::PopResult::kFrame);
  EXPECT_EQ(Number(f), 7);
  gst_buffer_unref(f.buffer);

  q.Push(Frame(1));
  q.Push(Frame(2));
  q.Clear();  // LeakSanitizer reports the buffers if this does not free them
  EXPECT_EQ(q.Size(), 0u);
}

}  // namespace
