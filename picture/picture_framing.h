// How a pushed picture is framed: a JPEG file whose APP1 segment holds the
// picture record at byte 32. The receiver checks the framing as bytes
// arrive; these are the checks, apart from the sockets.
#pragma once

#include <cstddef>
#include <cstdint>

#include "VKTNetSDK11.h"
#include "api/statistics.h"

namespace vkt::picture {

using vkt::PictureDrop;

inline constexpr size_t kMaxPicture = 4 * 1024 * 1024;
inline constexpr size_t kRecordOffset = 32;
inline constexpr size_t kRecordEnd = kRecordOffset + 44;  // 76
// The APP1 length from which the last two record words are present.
inline constexpr uint16_t kFullRecordApp1 = 47;
inline constexpr uint16_t kMinApp1 = 46;

// Progress of one picture on its connection.
class PictureFraming {
 public:
  enum class State { kNeedMore, kComplete, kBad };

  // Judges the first `received` bytes of `picture` (received > 0).
  State Judge(const uint8_t* picture, size_t received);

  uint16_t App1Length() const { return app1Length_; }
  // Why the picture was judged bad.
  PictureDrop BadReason() const { return badReason_; }
  uint32_t TotalLength() const { return totalLength_; }
  // Whether totalLength has been read (and found within the limit).
  bool LengthKnown() const { return lengthChecked_ && badReason_ != PictureDrop::kOversize; }

 private:
  bool markerChecked_ = false;
  bool lengthChecked_ = false;
  uint16_t app1Length_ = 0;
  uint32_t totalLength_ = 0;
  PictureDrop badReason_ = PictureDrop::kBadMarker;
};

// PictureInfo and the callback's value from a complete picture of `length`
// bytes, whose first 76 bytes (zero where the picture is shorter) are in
// `picture`.
PictureInfo ReadPictureInfo(const uint8_t* picture, uint16_t app1Length, int handle, int32_t& value);

}  // namespace vkt::picture
