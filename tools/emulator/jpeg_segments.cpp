#include "jpeg_segments.h"

#include <algorithm>

namespace vktemu::wire {
namespace {

constexpr uint8_t kMarker = 0xFF;
constexpr uint8_t kComment = 0xFE;
// A COM segment: marker, length (itself and the data), at most 65533 data bytes.
constexpr size_t kMinComment = 4;
constexpr size_t kMaxComment = 2 + 65535;
constexpr size_t kAlphabet = 26;

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

}  // namespace

void putBe16(std::vector<uint8_t>& out, size_t at, uint16_t value) {
  out[at] = static_cast<uint8_t>(value >> 8);
  out[at + 1] = static_cast<uint8_t>(value);
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

}  // namespace vktemu::wire
