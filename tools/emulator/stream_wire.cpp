#include "stream_wire.h"

#include <algorithm>
#include <array>

#include "jpeg_segments.h"
#include "le_words.h"
#include "picture_wire.h"

namespace vktemu::wire {
namespace {

constexpr size_t kTag = 24;
constexpr std::array<uint8_t, 8> kTagBytes = {'V', 'K', 'T', 'S', 'T', 'R', 0, 0};
constexpr size_t kHeaderEnd = kStreamRecord + kStreamRecordSize;
// The segment runs to the record's end: its length counts itself, the tag and the record.
constexpr uint16_t kSegmentLength = static_cast<uint16_t>(kHeaderEnd - kApp1Length);

}  // namespace

std::vector<uint8_t> assembleFrame(std::span<const uint8_t> body, const StreamRecord& record,
                                   std::optional<uint32_t> totalLength, size_t padTo) {
  std::vector<uint8_t> out;
  out.reserve(std::max(padTo, kHeaderEnd + body.size()) + 4);
  out.resize(kHeaderEnd, 0);
  std::copy(kJfifHeader.begin(), kJfifHeader.end(), out.begin());
  out[kApp1Marker] = 0xFF;
  out[kApp1Marker + 1] = 0xE1;
  putBe16(out, kApp1Length, kSegmentLength);
  std::copy(kTagBytes.begin(), kTagBytes.end(), out.begin() + kTag);

  if (padTo > kHeaderEnd + body.size()) appendPadding(out, padTo - kHeaderEnd - body.size());
  out.insert(out.end(), body.begin(), body.end());

  const std::span<uint8_t> words(out.data() + kStreamRecord, kStreamRecordSize);
  storeLe32(words, stream::kWord0, record.word0);
  storeLe32(words, stream::kTotalLength, totalLength.value_or(static_cast<uint32_t>(out.size())));
  storeLe32(words, stream::kWord8, record.word8);
  storeLe32(words, stream::kSeconds, static_cast<uint32_t>(record.seconds));
  storeLe32(words, stream::kMicroseconds, static_cast<uint32_t>(record.microseconds));
  storeLe32(words, stream::kWord20, record.word20);
  storeLe32(words, stream::kWord24, record.word24);
  storeLe32(words, stream::kWord28, record.word28);
  return out;
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
