#include "picture/picture_framing.h"

#include <cstring>

#include "picture/camera_time.h"

namespace vkt::picture {
namespace {

int32_t RecordWord(const uint8_t* picture, size_t offset) {
  int32_t w;
  std::memcpy(&w, picture + kRecordOffset + offset, sizeof w);
  return w;
}

}  // namespace

PictureFraming::State PictureFraming::Judge(const uint8_t* picture, size_t received) {
  if (received < 24) return State::kNeedMore;
  if (!markerChecked_) {
    markerChecked_ = true;
    if (picture[20] != 0xFF || picture[21] != 0xE1) {
      badReason_ = PictureDrop::kBadMarker;
      return State::kBad;
    }
    app1Length_ = static_cast<uint16_t>(picture[22] << 8 | picture[23]);
    if (app1Length_ < kMinApp1) {
      badReason_ = PictureDrop::kShortApp1;
      return State::kBad;
    }
  }
  if (received < static_cast<size_t>(app1Length_) + 20) return State::kNeedMore;
  if (!lengthChecked_) {
    lengthChecked_ = true;
    totalLength_ = static_cast<uint32_t>(RecordWord(picture, 4));
    if (totalLength_ > kMaxPicture) {
      badReason_ = PictureDrop::kOversize;
      return State::kBad;
    }
  }
  // More bytes than announced never make a picture: it ends by time-out or
  // by the camera closing.
  return received == totalLength_ ? State::kComplete : State::kNeedMore;
}

PictureInfo ReadPictureInfo(const uint8_t* picture, uint16_t app1Length, int handle, int32_t& value) {
  PictureInfo info{};
  info.camera = handle;
  info.recordWord8 = RecordWord(picture, 8);
  value = RecordWord(picture, 12);
  info.time = ToCameraTime(RecordWord(picture, 16), RecordWord(picture, 20));
  info.recordWord24 = RecordWord(picture, 24);
  info.recordWord28 = RecordWord(picture, 28);
  info.recordWord32 = RecordWord(picture, 32);
  const bool full = app1Length >= kFullRecordApp1;
  info.recordWord40 = full ? RecordWord(picture, 40) : -1;
  info.recordWord36 = full ? RecordWord(picture, 36) : -1;
  return info;
}

}  // namespace vkt::picture
