// Pictures and stream frames as they go on the wire: JPEG files whose first
// segment after the JFIF header is an APP1 segment holding the camera's
// record, so any decoder skips it and the client finds the record at a
// fixed place. Both are laid out alike:
//
//   0..19   SOI and the JFIF APP0 segment (always these 20 bytes)
//   20..21  FF E1
//   22..23  APP1 length, big-endian (counts itself and the segment data)
//   24..31  "VKTPIC\0\0" (a pushed picture) or "VKTSTR\0\0" (a frame)
//   32..    the record: little-endian 32-bit words, word 1 the file's size;
//           eleven for a picture, eight for a frame
//   then    zero filler up to the announced APP1 end (pictures only), COM
//           segments that pad the file, then the encoder's JPEG after its
//           SOI and APP0
//
// A frame goes out as datagrams of exactly 1024 bytes: the packet index
// (little-endian 32-bit, 0 opens a frame), then frame bytes index * 1020
// onwards; the last packet is zero padded.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vktemu::wire {

inline constexpr std::array<uint8_t, 20> kJfifHeader = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',  'F',
                                                        0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00};
inline constexpr size_t kApp1Length = 22;
inline constexpr size_t kRecordAt = 32;
inline constexpr size_t kTotalLengthAt = 4;  // in the record
inline constexpr size_t kPictureRecordSize = 44;
inline constexpr size_t kStreamRecordSize = 32;
// The length bytes, the tag and the record.
inline constexpr uint16_t kDefaultApp1Length = 2 + 8 + kPictureRecordSize;

// The records' little-endian words, in order; word 1 (bytes 4..7) is
// replaced by the file's size, or the shape's totalLength, when assembled.
using PictureRecord = std::array<uint32_t, kPictureRecordSize / 4>;
using StreamRecord = std::array<uint32_t, kStreamRecordSize / 4>;

struct PictureShape {
  bool badMarker = false;               // FF E2 instead of FF E1
  std::optional<uint16_t> app1Length;   // announced; below the default the whole record still goes out
  std::optional<uint32_t> totalLength;  // the record's word, whatever the size
  size_t padTo = 0;                     // at least this many bytes in all
};

// The encoder's JPEG with everything up to the end of its APP segments
// dropped (SOI, JFIF or Adobe headers): the tables, frame and scan that
// follow our own header. Empty when `jpeg` does not start with SOI.
std::span<const uint8_t> jpegBody(std::span<const uint8_t> jpeg);

// COM segments adding exactly `need` bytes to the end of `out`, or 4 when
// fewer than 4 are needed (no segment is smaller).
void appendPadding(std::vector<uint8_t>& out, size_t need);

// `body` as jpegBody() returns it.
std::vector<uint8_t> assemblePicture(std::span<const uint8_t> body, const PictureRecord& record,
                                     const PictureShape& shape);
// The frame has at least padTo bytes.
std::vector<uint8_t> assembleFrame(std::span<const uint8_t> body, const StreamRecord& record,
                                   std::optional<uint32_t> totalLength, size_t padTo);

inline constexpr size_t kStreamDatagramSize = 1024;
inline constexpr size_t kStreamIndexSize = 4;
inline constexpr size_t kStreamPacketData = kStreamDatagramSize - kStreamIndexSize;

size_t streamPacketCount(size_t frameBytes);  // at least 1

// Packet `index` of `frame`: the index word, then the frame's bytes from
// index * 1020 (zeros past its end).
void writeStreamPacket(std::span<const uint8_t> frame, uint32_t index, std::span<uint8_t, kStreamDatagramSize> out);
std::vector<uint8_t> streamPacket(std::span<const uint8_t> frame, uint32_t index);

}  // namespace vktemu::wire
