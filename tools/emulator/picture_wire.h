// A pushed picture as it goes on the wire: a JPEG file whose first segment
// after the JFIF header is an APP1 segment holding the camera's picture
// record, so any decoder skips it and the client finds the record at a
// fixed place.
//
//   0..19   SOI and the JFIF APP0 segment (always these 20 bytes)
//   20..21  FF E1
//   22..23  APP1 length, big-endian (counts itself and the segment data)
//   24..31  "VKTPIC\0\0"
//   32..75  the record: eleven little-endian 32-bit words
//   76..    zero filler up to the announced APP1 end, COM segments that
//           pad the picture, then the encoder's JPEG after its SOI and APP0
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vktemu::wire {

inline constexpr std::array<uint8_t, 20> kJfifHeader = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F',
                                                        0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00};
inline constexpr size_t kApp1Marker = 20;
inline constexpr size_t kApp1Length = 22;
inline constexpr size_t kPictureTag = 24;
inline constexpr size_t kPictureRecord = 32;
inline constexpr size_t kPictureRecordSize = 44;
// The length bytes, the tag and the record.
inline constexpr uint16_t kDefaultApp1Length = 2 + 8 + kPictureRecordSize;

// Record offsets.
namespace picture {
inline constexpr size_t kWord0 = 0;
inline constexpr size_t kTotalLength = 4;
inline constexpr size_t kWord8 = 8;
inline constexpr size_t kWord12 = 12;
inline constexpr size_t kSeconds = 16;
inline constexpr size_t kMicroseconds = 20;
inline constexpr size_t kWord24 = 24;
}  // namespace picture

struct PictureRecord {
  uint32_t word0 = 0;
  // totalLength (+4) is the picture's size, set when it is assembled.
  uint32_t word8 = 0;
  uint32_t word12 = 0;
  int32_t seconds = 0;
  int32_t microseconds = 0;
  std::array<uint32_t, 5> tail{};  // words 24, 28, 32, 36, 40
};

struct PictureShape {
  bool badMarker = false;                 // FF E2 instead of FF E1
  std::optional<uint16_t> app1Length;     // announced; below the default the whole record still goes out
  std::optional<uint32_t> totalLength;    // the record's word, whatever the size
  size_t padTo = 0;                       // at least this many bytes in all
};

// The encoder's JPEG with everything up to the end of its APP segments
// dropped (SOI, JFIF or Adobe headers): the tables, frame and scan that
// follow our own header. Empty when `jpeg` does not start with SOI.
std::span<const uint8_t> jpegBody(std::span<const uint8_t> jpeg);

std::vector<uint8_t> assemblePicture(std::span<const uint8_t> body, const PictureRecord& record,
                                     const PictureShape& shape);

}  // namespace vktemu::wire
