// Frame reassembly from stream packets: sizes at the packet boundaries,
// restarts, losses, repeats, and indexes that fit no frame.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "stream/frame_assembler.h"

namespace {

using vkt::stream::FrameAssembler;
using vkt::stream::kMaxFrame;

// The packets of a frame of `total` bytes whose content is `seed`-dependent.
std::vector<std::vector<uint8_t>> Packets(uint32_t total, uint8_t seed, uint32_t announced = 0) {
  std::vector<uint8_t> frame(total < 40 ? 40 : total);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 13 + seed);
  const uint32_t length = announced != 0 ? announced : total;
  std::memcpy(frame.data() + 36, &length, 4);
  std::vector<std::vector<uint8_t>> packets;
  for (int32_t i = 0; static_cast<size_t>(i) * 1020 < frame.size(); ++i) {
    std::vector<uint8_t> p(1024, 0);
    std::memcpy(p.data(), &i, 4);
    const size_t at = static_cast<size_t>(i) * 1020;
    std::memcpy(p.data() + 4, frame.data() + at, std::min<size_t>(1020, frame.size() - at));
    packets.push_back(p);
  }
  return packets;
}

std::vector<uint8_t> FrameBytes(uint32_t total, uint8_t seed) {
  std::vector<uint8_t> frame(total);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 13 + seed);
  std::memcpy(frame.data() + 36, &total, 4);
  return frame;
}

class Assembler : public ::testing::Test {
 protected:
  Assembler() : buffer(new uint8_t[kMaxFrame]), assembler(buffer.get()) {}
  // Feeds packets; the number of frames completed.
  int Feed(const std::vector<std::vector<uint8_t>>& packets) {
    int frames = 0;
    for (const auto& p : packets) frames += assembler.Feed(p.data());
    return frames;
  }
  std::vector<uint8_t> Frame() { return std::vector<uint8_t>(buffer.get(), buffer.get() + assembler.Length()); }

  std::unique_ptr<uint8_t[]> buffer;
  FrameAssembler assembler;
};

TEST_F(Assembler, SizesAtThePacketBoundaries) {
  for (uint32_t total : {40u, 1020u, 1021u, 2040u, 2041u, 100000u}) {
    auto packets = Packets(total, 1);
    EXPECT_EQ(packets.size(), (total + 1019) / 1020) << total;
    EXPECT_EQ(Feed(packets), 1) << total;
    EXPECT_EQ(Frame(), FrameBytes(total, 1)) << total;
  }
}

TEST_F(Assembler, PacketZeroRestartsAFrame) {
  auto first = Packets(5000, 1), second = Packets(3000, 2);
  EXPECT_EQ(Feed({first[0], first[1]}), 0);
  EXPECT_EQ(Feed(second), 1);
  EXPECT_EQ(Frame(), FrameBytes(3000, 2));
}

TEST_F(Assembler, LostPacketDropsTheFrameEvenWhenARepeatMakesUpTheCount) {
  ASSERT_EQ(Feed(Packets(5000, 1)), 1);
  auto p = Packets(5000, 2);
  // Packet 2 lost, packet 1 twice: the byte count adds up, the frame does not.
  EXPECT_EQ(Feed({p[0], p[1], p[1], p[3], p[4]}), 0);
  // A repeat alone changes nothing: every packet there means a frame.
  EXPECT_EQ(Feed({p[0], p[1], p[2], p[2], p[3], p[4]}), 1);
  EXPECT_EQ(Frame(), FrameBytes(5000, 2));
  // Reordered middle packets are fine too.
  EXPECT_EQ(Feed({p[0], p[3], p[1], p[2], p[4]}), 1);
}

TEST_F(Assembler, IndexPastTheLastEndsTheFrame) {
  auto p = Packets(5000, 1);
  auto stray = p[1];
  const int32_t past = 9;
  std::memcpy(stray.data(), &past, 4);
  EXPECT_EQ(Feed({p[0], p[1], stray, p[2], p[3], p[4]}), 0);
  // Without packet 0 nothing is taken.
  EXPECT_EQ(Feed({p[1], p[2], p[3], p[4]}), 0);
}

TEST_F(Assembler, IndexesAndLengthsThatFitNoBufferAreDropped) {
  auto p = Packets(5000, 1);
  auto negative = p[1];
  const int32_t minus = -1;
  std::memcpy(negative.data(), &minus, 4);
  EXPECT_EQ(Feed({p[0], negative, p[1], p[2], p[3], p[4]}), 1) << "a negative index is ignored";
  auto huge = Packets(2000, 3, static_cast<uint32_t>(kMaxFrame) + 1);
  auto hugeNext = huge[1];
  const int32_t far = 4200;  // would write past the buffer
  std::memcpy(hugeNext.data(), &far, 4);
  EXPECT_EQ(Feed({huge[0], hugeNext, huge[1]}), 0);
  // The largest frame the buffer holds is assembled.
  EXPECT_EQ(Feed(Packets(static_cast<uint32_t>(kMaxFrame), 4)), 1);
  EXPECT_EQ(assembler.Length(), kMaxFrame);
}

}  // namespace
