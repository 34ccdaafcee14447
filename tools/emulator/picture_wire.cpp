#include "picture_wire.h"

#include <algorithm>

#include "wire.h"

namespace vktemu::wire {
namespace {

constexpr uint8_t kMarker = 0xFF;
constexpr uint8_t kSoi = 0xD8;
constexpr uint8_t kApp0 = 0xE0;
constexpr uint8_t kApp1 = 0xE1;
constexpr uint8_t kApp15 = 0xEF;
constexpr uint8_t kComment = 0xFE;
constexpr size_t kApp1Marker = 20;
constexpr size_t kTagAt = 24;
constexpr std::array<uint8_t, 8> kPictureTag = {'V', 'K', 'T', 'P', 'I', 'C', 0, 0};
constexpr std::array<uint8_t, 8> kStreamTag = {'V', 'K', 'T', 'S', 'T', 'R', 0, 0};
// A COM segment: marker, length (itself and the data), at most 65533 data bytes.
constexpr size_t kMinComment = 4;
constexpr size_t kMaxComment = 2 + 65535;
constexpr size_t kAlphabet = 26;

void putBe16(std::vector<uint8_t>& out, size_t at, uint16_t value) {
  out[at] = static_cast<uint8_t>(value >> 8);
  out[at + 1] = static_cast<uint8_t>(value);
}

void appendComment(std::vector<uint8_t>& out, size_t size) {
  const size_t at = out.size();
  out.resize(at + size, 0);
  out[at] = kMarker;
  out[at + 1] = kComment;
  putBe16(out, at + 2, static_cast<uint16_t>(size - 2));
  // Recognisable filler, so a dump shows where the padding lies: one round
  // of the alphabet, then copies of what is written so far (padded frames
  // of megabytes are taken many times a second).
  uint8_t* const filler = out.data() + at + kMinComment;
  const size_t length = size - kMinComment;
  for (size_t i = 0; i < std::min(length, kAlphabet); ++i)
    filler[i] = static_cast<uint8_t>('a' + (i + kMinComment) % kAlphabet);
  for (size_t done = kAlphabet; done < length; done *= 2)
    std::copy_n(filler, std::min(done, length - done), filler + done);
}

struct Segment {
  const std::array<uint8_t, 8>& tag;
  uint8_t marker;      // the APP1 marker's second byte, as sent
  uint16_t announced;  // the APP1 length, as sent
  size_t end;          // where the padding and the body start
};

// The header, the record's words (word 1 the file's size unless
// `totalLength` says otherwise), the padding up to `padTo` and the body.
std::vector<uint8_t> assemble(std::span<const uint8_t> body, const Segment& segment, std::span<const uint32_t> words,
                              std::optional<uint32_t> totalLength, size_t padTo) {
  std::vector<uint8_t> out;
  // One allocation: padded frames of megabytes are taken many times a second.
  out.reserve(std::max(padTo, segment.end + body.size()) + kMinComment);
  out.resize(segment.end, 0);
  std::copy(kJfifHeader.begin(), kJfifHeader.end(), out.begin());
  out[kApp1Marker] = kMarker;
  out[kApp1Marker + 1] = segment.marker;
  putBe16(out, kApp1Length, segment.announced);
  std::copy(segment.tag.begin(), segment.tag.end(), out.begin() + kTagAt);
  if (padTo > segment.end + body.size()) appendPadding(out, padTo - segment.end - body.size());
  out.insert(out.end(), body.begin(), body.end());
  size_t at = kRecordAt;
  for (const uint32_t word : words) {
    storeLe32(out, at,
              at == kRecordAt + kTotalLengthAt ? totalLength.value_or(static_cast<uint32_t>(out.size())) : word);
    at += 4;
  }
  return out;
}

}  // namespace

std::span<const uint8_t> jpegBody(std::span<const uint8_t> jpeg) {
  if (jpeg.size() < 2 || jpeg[0] != kMarker || jpeg[1] != kSoi) return {};
  size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at] == kMarker && jpeg[at + 1] >= kApp0 && jpeg[at + 1] <= kApp15) {
    at += 2 + (static_cast<size_t>(jpeg[at + 2]) << 8 | jpeg[at + 3]);
  }
  return jpeg.subspan(std::min(at, jpeg.size()));
}

void appendPadding(std::vector<uint8_t>& out, size_t need) {
  if (need > 0 && need < kMinComment) need = kMinComment;
  // One allocation: growing a large buffer segment by segment costs page
  // faults on every move.
  out.reserve(out.size() + need);
  while (need > 0) {
    size_t size = std::min(need, kMaxComment);
    // Never leave a rest too small for a segment of its own.
    if (need - size > 0 && need - size < kMinComment) size -= kMinComment;
    appendComment(out, size);
    need -= size;
  }
}

std::vector<uint8_t> assemblePicture(std::span<const uint8_t> body, const PictureRecord& record,
                                     const PictureShape& shape) {
  const uint16_t announced = shape.app1Length.value_or(kDefaultApp1Length);
  // A longer segment really is longer (zero filler after the record), so
  // the file stays a valid JPEG.
  const Segment segment{kPictureTag, shape.badMarker ? uint8_t{0xE2} : kApp1, announced,
                        kApp1Length + std::max<size_t>(announced, kDefaultApp1Length)};
  return assemble(body, segment, record, shape.totalLength, shape.padTo);
}

std::vector<uint8_t> assembleFrame(std::span<const uint8_t> body, const StreamRecord& record,
                                   std::optional<uint32_t> totalLength, size_t padTo) {
  // The segment runs to the record's end: its length counts itself, the tag and the record.
  constexpr size_t kEnd = kRecordAt + kStreamRecordSize;
  const Segment segment{kStreamTag, kApp1, static_cast<uint16_t>(kEnd - kApp1Length), kEnd};
  return assemble(body, segment, record, totalLength, padTo);
}

size_t streamPacketCount(size_t frameBytes) {
  return std::max<size_t>(1, (frameBytes + kStreamPacketData - 1) / kStreamPacketData);
}

void writeStreamPacket(std::span<const uint8_t> frame, uint32_t index, std::span<uint8_t, kStreamDatagramSize> out) {
  storeLe32(out, 0, index);
  const size_t from = std::min(frame.size(), static_cast<size_t>(index) * kStreamPacketData);
  const size_t count = std::min(kStreamPacketData, frame.size() - from);
  const auto data = out.subspan(kStreamIndexSize);
  std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(from), count, data.begin());
  std::fill(data.begin() + static_cast<std::ptrdiff_t>(count), data.end(), 0);
}

std::vector<uint8_t> streamPacket(std::span<const uint8_t> frame, uint32_t index) {
  std::vector<uint8_t> out(kStreamDatagramSize);
  writeStreamPacket(frame, index, std::span<uint8_t, kStreamDatagramSize>(out.data(), kStreamDatagramSize));
  return out;
}

}  // namespace vktemu::wire
