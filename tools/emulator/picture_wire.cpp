#include "picture_wire.h"

#include <algorithm>

#include "jpeg_segments.h"
#include "le_words.h"

namespace vktemu::wire {
namespace {

constexpr uint8_t kMarker = 0xFF;
constexpr uint8_t kSoi = 0xD8;
constexpr uint8_t kApp0 = 0xE0;
constexpr uint8_t kApp15 = 0xEF;
constexpr std::array<uint8_t, 8> kTag = {'V', 'K', 'T', 'P', 'I', 'C', 0, 0};

}  // namespace

std::span<const uint8_t> jpegBody(std::span<const uint8_t> jpeg) {
  if (jpeg.size() < 2 || jpeg[0] != kMarker || jpeg[1] != kSoi) return {};
  size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at] == kMarker && jpeg[at + 1] >= kApp0 && jpeg[at + 1] <= kApp15) {
    at += 2 + (static_cast<size_t>(jpeg[at + 2]) << 8 | jpeg[at + 3]);
  }
  return jpeg.subspan(std::min(at, jpeg.size()));
}

std::vector<uint8_t> assemblePicture(std::span<const uint8_t> body, const PictureRecord& record,
                                     const PictureShape& shape) {
  const uint16_t announced = shape.app1Length.value_or(kDefaultApp1Length);
  // A longer segment really is longer (zero filler after the record), so
  // the file stays a valid JPEG.
  const size_t segmentEnd = kApp1Length + std::max<size_t>(announced, kDefaultApp1Length);

  std::vector<uint8_t> out(segmentEnd, 0);
  std::copy(kJfifHeader.begin(), kJfifHeader.end(), out.begin());
  out[kApp1Marker] = kMarker;
  out[kApp1Marker + 1] = shape.badMarker ? 0xE2 : 0xE1;
  putBe16(out, kApp1Length, announced);
  std::copy(kTag.begin(), kTag.end(), out.begin() + kPictureTag);

  if (shape.padTo > segmentEnd + body.size()) appendPadding(out, shape.padTo - segmentEnd - body.size());
  out.insert(out.end(), body.begin(), body.end());

  const std::span<uint8_t> words(out.data() + kPictureRecord, kPictureRecordSize);
  storeLe32(words, picture::kWord0, record.word0);
  storeLe32(words, picture::kTotalLength, shape.totalLength.value_or(static_cast<uint32_t>(out.size())));
  storeLe32(words, picture::kWord8, record.word8);
  storeLe32(words, picture::kWord12, record.word12);
  storeLe32(words, picture::kSeconds, static_cast<uint32_t>(record.seconds));
  storeLe32(words, picture::kMicroseconds, static_cast<uint32_t>(record.microseconds));
  for (size_t i = 0; i < record.tail.size(); ++i) storeLe32(words, picture::kWord24 + 4 * i, record.tail[i]);
  return out;
}

}  // namespace vktemu::wire
