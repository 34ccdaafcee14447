#include "stream/frame_assembler.h"

#include <algorithm>
#include <cstring>

namespace vkt::stream {

FrameAssembler::FrameAssembler(uint8_t* buffer)
    : buffer_(buffer), arrived_((kMaxFrame / kPacketPayload + 1 + 63) / 64, 0) {}

bool FrameAssembler::Feed(const uint8_t* packet, FrameDrops* drops) {
  FrameDrops ignored;
  FrameDrops& dropped = drops != nullptr ? *drops : ignored;
  int32_t index;
  std::memcpy(&index, packet, sizeof index);
  const uint8_t* payload = packet + 4;
  if (index < 0) return false;  // no place in any frame
  if (index == 0) {
    // A new frame, whether or not one was in progress: that one lost its
    // last packet.
    if (inProgress_) ++dropped.gap;
    inProgress_ = false;
    uint32_t total;
    std::memcpy(&total, payload + kRecordOffset + 4, sizeof total);
    if (total > kMaxFrame) {
      ++dropped.oversize;  // larger than any buffer
      return false;
    }
    std::memcpy(buffer_, payload, kPacketPayload);
    total_ = total;
    if (total <= kPacketPayload) return true;
    lastIndex_ = total / kPacketPayload;
    lastSize_ = total % kPacketPayload;
    if (lastSize_ == 0) {
      --lastIndex_;
      lastSize_ = kPacketPayload;
    }
    std::fill(arrived_.begin(), arrived_.end(), 0);
    arrived_[0] = 1;
    arrivedCount_ = 1;
    inProgress_ = true;
    return false;
  }
  if (!inProgress_) return false;
  const auto i = static_cast<uint32_t>(index);
  if (i > lastIndex_) {
    inProgress_ = false;  // past the end: the frame is lost
    ++dropped.pastLast;
    return false;
  }
  const uint32_t size = i == lastIndex_ ? lastSize_ : static_cast<uint32_t>(kPacketPayload);
  std::memcpy(buffer_ + static_cast<size_t>(i) * kPacketPayload, payload, size);
  if (!Arrived(i)) {
    arrived_[i / 64] |= uint64_t{1} << (i % 64);
    ++arrivedCount_;
  }
  if (i < lastIndex_) return false;
  // The last packet ends the frame, complete or not.
  inProgress_ = false;
  if (arrivedCount_ == lastIndex_ + 1) return true;
  ++dropped.gap;
  return false;
}

}  // namespace vkt::stream
