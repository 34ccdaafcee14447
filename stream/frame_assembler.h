// Reassembles stream frames from 1024-byte datagrams: a 4-byte packet index,
// then 1020 bytes of the frame at index x 1020. Packet 0 opens a frame and
// carries its length; the last packet ends it. A frame is handed over only
// when every one of its packets arrived, so a lost packet can never leave
// bytes of an earlier frame in a frame presented as new.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vkt::stream {

inline constexpr size_t kPacketSize = 1024;
inline constexpr size_t kPacketPayload = 1020;
inline constexpr size_t kMaxFrame = 4 * 1024 * 1024;
inline constexpr size_t kRecordOffset = 32;  // the stream record within the frame

// Frames given up, by reason; each lost frame is counted once.
struct FrameDrops {
  uint64_t gap = 0;       // a packet lost or repeated
  uint64_t pastLast = 0;  // a packet index past the frame's last
  uint64_t oversize = 0;  // announced larger than kMaxFrame
  bool Any() const { return gap != 0 || pastLast != 0 || oversize != 0; }
};

class FrameAssembler {
 public:
  // `buffer` holds kMaxFrame bytes and receives the frames.
  explicit FrameAssembler(uint8_t* buffer);

  // Takes one datagram of exactly kPacketSize bytes. True when it completed
  // a frame: its bytes are then at the start of the buffer, Length() long.
  // A frame it gives up is counted in `drops`, if given.
  bool Feed(const uint8_t* packet, FrameDrops* drops = nullptr);
  uint32_t Length() const { return total_; }
  // Forgets a frame in progress (the camera changed).
  void Reset() { inProgress_ = false; }

 private:
  bool Arrived(uint32_t index) const { return (arrived_[index / 64] >> (index % 64)) & 1u; }

  uint8_t* buffer_;
  bool inProgress_ = false;
  uint32_t total_ = 0;
  uint32_t lastIndex_ = 0;
  uint32_t lastSize_ = 0;
  uint32_t arrivedCount_ = 0;
  std::vector<uint64_t> arrived_;  // one bit per packet of the frame
};

}  // namespace vkt::stream
