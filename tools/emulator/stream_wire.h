// A stream frame and the datagrams that carry it.
//
// The frame is a JPEG file laid out like a pushed picture, with a shorter
// record:
//   0..19   SOI and the JFIF APP0 segment
//   20..21  FF E1
//   22..23  APP1 length, big-endian (42: itself, the tag and the record)
//   24..31  "VKTSTR\0\0"
//   32..63  the record: eight little-endian 32-bit words
//   64..    COM segments that pad the frame, then the encoder's JPEG after
//           its SOI and APP0
//
// Each datagram is exactly 1024 bytes: the packet index (little-endian
// 32-bit, 0 opens a frame), then frame bytes index * 1020 onwards; the last
// packet is zero padded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vktemu::wire {

inline constexpr size_t kStreamDatagramSize = 1024;
inline constexpr size_t kStreamIndexSize = 4;
inline constexpr size_t kStreamPacketData = kStreamDatagramSize - kStreamIndexSize;

inline constexpr size_t kStreamRecord = 32;
inline constexpr size_t kStreamRecordSize = 32;

// Record offsets.
namespace stream {
inline constexpr size_t kWord0 = 0;
inline constexpr size_t kTotalLength = 4;
inline constexpr size_t kWord8 = 8;  // the frame counter
inline constexpr size_t kSeconds = 12;
inline constexpr size_t kMicroseconds = 16;
inline constexpr size_t kWord20 = 20;
inline constexpr size_t kWord24 = 24;
inline constexpr size_t kWord28 = 28;
}  // namespace stream

struct StreamRecord {
  uint32_t word0 = 0;
  // totalLength (+4) is the frame's size unless told otherwise.
  uint32_t word8 = 0;
  int32_t seconds = 0;
  int32_t microseconds = 0;
  uint32_t word20 = 0;
  uint32_t word24 = 0;
  uint32_t word28 = 0;
};

// `body` as jpegBody() returns it. The frame has at least padTo bytes.
std::vector<uint8_t> assembleFrame(std::span<const uint8_t> body, const StreamRecord& record,
                                   std::optional<uint32_t> totalLength, size_t padTo);

size_t streamPacketCount(size_t frameBytes);  // at least 1

// Packet `index` of `frame`: the index word, then the frame's bytes from
// index * 1020 (zeros past its end).
void writeStreamPacket(std::span<const uint8_t> frame, uint32_t index, std::span<uint8_t, kStreamDatagramSize> out);
std::vector<uint8_t> streamPacket(std::span<const uint8_t> frame, uint32_t index);

}  // namespace vktemu::wire
