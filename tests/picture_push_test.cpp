// Pictures from the emulated camera end to end: real JPEG files that a
// decoder opens, snapshots and triggered pictures through the callback.
#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>

#include "camera_fixture.h"
#include "picture_collector.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using vkttest::PictureCollector;

// Width and height of a JPEG in memory, or {0, 0} when it does not decode.
std::pair<int, int> DecodeDimensions(const std::vector<uint8_t>& jpeg) {
  jpeg_decompress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  errors.error_exit = [](j_common_ptr) { throw std::runtime_error("not a JPEG"); };
  jpeg_create_decompress(&info);
  std::pair<int, int> size{0, 0};
  try {
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    std::vector<uint8_t> row(static_cast<size_t>(info.output_width) * info.output_components);
    while (info.output_scanline < info.output_height) {
      JSAMPROW rows[1] = {row.data()};
      jpeg_read_scanlines(&info, rows, 1);
    }
    jpeg_finish_decompress(&info);
    size = {static_cast<int>(info.output_width), static_cast<int>(info.output_height)};
  } catch (const std::exception&) {
    size = {0, 0};
  }
  jpeg_destroy_decompress(&info);
  return size;
}

class PicturePush : public vkttest::PictureTest {};

TEST_F(PicturePush, SnapshotArrivesAsARealJpeg) {
  emulator.setPictureSize(id, 320, 240, 80);
  ASSERT_EQ(VKT_SnapPicture(camera, 4711, 1000), 0) << std::hex << VKT_GetLastError();
  ASSERT_TRUE(PictureCollector::Instance().WaitFor(1, 3s));
  auto d = PictureCollector::Instance().All()[0];
  EXPECT_EQ(d.value, 4711) << "the camera echoes the snapshot's value";
  EXPECT_EQ(d.info.camera, camera);
  ASSERT_GT(d.bytes.size(), 76u);
  EXPECT_EQ(d.bytes[0], 0xFF);
  EXPECT_EQ(d.bytes[1], 0xD8);
  EXPECT_EQ(d.bytes[20], 0xFF);
  EXPECT_EQ(d.bytes[21], 0xE1);
  EXPECT_EQ(DecodeDimensions(d.bytes), (std::pair<int, int>{320, 240}));
  // Exactly what the camera sent.
  ASSERT_TRUE(emulator.waitForPictures(id, 1, 2s));
  EXPECT_EQ(emulator.pushedPictures(id).back().bytes, d.bytes);
}

TEST_F(PicturePush, TriggeredPicturesEachCarryTheirOwnTimeStamp) {
  emulator.setPictureSize(id, 160, 120, 70);
  for (int i = 0; i < 3; ++i) emulator.trigger(id, 100 + i);
  ASSERT_TRUE(PictureCollector::Instance().WaitFor(3, 5s));
  auto all = PictureCollector::Instance().All();
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(DecodeDimensions(all[i].bytes), (std::pair<int, int>{160, 120})) << i;
    EXPECT_EQ(all[i].info.time.year >= 2024, true);
  }
  EXPECT_NE(all[0].info.recordWord8, all[1].info.recordWord8) << "a counter per picture";
}

TEST_F(PicturePush, PiecesAssembledSlowSenderAndBadFramingDropped) {
  vktemu::PushFaults pieces;
  pieces.chunkBytes = 100;
  pieces.chunkDelayMs = 1;
  emulator.setPictureSize(id, 64, 48, 50);
  emulator.setPushFaults(id, pieces);
  emulator.trigger(id, 1);
  ASSERT_TRUE(PictureCollector::Instance().WaitFor(1, 3s));
  EXPECT_EQ(DecodeDimensions(PictureCollector::Instance().All()[0].bytes), (std::pair<int, int>{64, 48}));

  vktemu::PushFaults slow;
  slow.chunkBytes = 200;
  slow.chunkDelayMs = 400;
  emulator.setPushFaults(id, slow);
  emulator.trigger(id, 2);
  vktemu::PushFaults badMarker;
  badMarker.badMarker = true;
  emulator.setPushFaults(id, badMarker);
  emulator.trigger(id, 3);
  EXPECT_FALSE(PictureCollector::Instance().WaitFor(2, 2500ms));
  emulator.setPushFaults(id, vktemu::PushFaults{});
  emulator.trigger(id, 4);
  ASSERT_TRUE(PictureCollector::Instance().WaitFor(2, 6s));
  EXPECT_EQ(PictureCollector::Instance().All()[1].value, 4);
}

}  // namespace
