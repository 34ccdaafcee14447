// Bytes a camera pushes on a picture connection, arriving in chunks as
// the receiver's reads return them. Input: one byte k (k % 16 split bytes
// follow), k split bytes (each a chunk of 1..256 bytes, used in turn; the
// last chunk takes the rest), then the bytes of the connection.
#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "picture/picture_framing.h"

namespace pf = vkt::picture;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t splits = std::min<size_t>(data[0] % 16, size - 1);
  std::vector<size_t> chunks;
  for (size_t i = 0; i < splits; ++i) chunks.push_back(size_t{data[1 + i]} + 1);
  const uint8_t* stream = data + 1 + splits;
  const size_t length = std::min(size - 1 - splits, pf::kMaxPicture);

  // The receiver's buffer; the bytes not received yet are poisoned, so a
  // look past them is caught.
  const size_t capacity = std::max(length, pf::kRecordEnd);
  auto* buffer = new uint8_t[capacity];
  ASAN_POISON_MEMORY_REGION(buffer, capacity);

  pf::PictureFraming framing;
  pf::PictureFraming::State state = pf::PictureFraming::State::kNeedMore;
  size_t received = 0;
  size_t next = 0;
  while (received < length) {
    size_t n = chunks.empty() ? length - received : chunks[next++ % chunks.size()];
    n = std::min(n, length - received);
    ASAN_UNPOISON_MEMORY_REGION(buffer + received, n);
    std::memcpy(buffer + received, stream + received, n);
    received += n;
    state = framing.Judge(buffer, received);
    if (state != pf::PictureFraming::State::kNeedMore) break;
  }

  if (state == pf::PictureFraming::State::kComplete) {
    // A complete picture is as long as it announced, within the buffer,
    // and has an APP1 segment long enough for the record.
    if (framing.TotalLength() != received || received > pf::kMaxPicture) __builtin_trap();
    if (framing.App1Length() < pf::kMinApp1) __builtin_trap();
    // As the receiver does: what did not arrive of the record reads as zero.
    if (received < pf::kRecordEnd) {
      ASAN_UNPOISON_MEMORY_REGION(buffer + received, pf::kRecordEnd - received);
      std::memset(buffer + received, 0, pf::kRecordEnd - received);
    }
    int32_t value = 0;
    const PictureInfo info = pf::ReadPictureInfo(buffer, framing.App1Length(), 7, value);
    if (info.camera != 7) __builtin_trap();
  } else if (state == pf::PictureFraming::State::kBad) {
    const vkt::PictureDrop reason = framing.BadReason();
    if (reason != vkt::PictureDrop::kBadMarker && reason != vkt::PictureDrop::kShortApp1 &&
        reason != vkt::PictureDrop::kOversize) {
      __builtin_trap();
    }
  }
  ASAN_UNPOISON_MEMORY_REGION(buffer, capacity);
  delete[] buffer;
  return 0;
}
