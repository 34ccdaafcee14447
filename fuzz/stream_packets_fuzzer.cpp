// Datagrams on a stream receiver's port: the input cut into 1024-byte
// packets (the last one completed with zeros), fed to the frame assembler
// with a frame buffer of kMaxFrame bytes, as the stream receiver does.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "stream/frame_assembler.h"

namespace st = vkt::stream;

namespace {

// One buffer for the whole run, exactly kMaxFrame bytes: a write past a
// frame's end is caught.
uint8_t* FrameBuffer() {
  static uint8_t* buffer = new uint8_t[st::kMaxFrame];
  return buffer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t packets = (size + st::kPacketSize - 1) / st::kPacketSize;
  std::vector<uint8_t> padded(packets * st::kPacketSize, 0);
  if (size != 0) std::memcpy(padded.data(), data, size);

  st::FrameAssembler assembler(FrameBuffer());
  st::FrameDrops drops;
  // The packets of the frame in progress, as this harness saw them: a frame
  // handed over must consist of exactly these.
  std::vector<const uint8_t*> latest;
  for (size_t p = 0; p < packets; ++p) {
    const uint8_t* packet = padded.data() + p * st::kPacketSize;
    int32_t index;
    std::memcpy(&index, packet, sizeof index);
    if (index == 0) latest.assign(1, packet + 4);
    // No frame has a packet past the last of a kMaxFrame frame.
    if (index > 0 && static_cast<size_t>(index) <= st::kMaxFrame / st::kPacketPayload) {
      if (latest.size() <= static_cast<size_t>(index)) latest.resize(static_cast<size_t>(index) + 1, nullptr);
      latest[static_cast<size_t>(index)] = packet + 4;
    }
    if (!assembler.Feed(packet, &drops)) continue;

    const uint32_t length = assembler.Length();
    if (length > st::kMaxFrame) __builtin_trap();
    // The stream receiver reads the record before the callback.
    const uint8_t* frame = FrameBuffer();
    int32_t words[8];
    std::memcpy(words, frame + st::kRecordOffset, sizeof words);
    // Every byte of the frame is the payload of a packet received since its
    // first one, each packet in place.
    const size_t frameLength = length;
    const size_t needed = (frameLength + st::kPacketPayload - 1) / st::kPacketPayload;
    if (frameLength <= st::kPacketPayload) {
      if (latest.empty() || latest[0] == nullptr) __builtin_trap();
      if (std::memcmp(frame, latest[0], st::kPacketPayload) != 0) __builtin_trap();
    } else {
      if (latest.size() < needed) __builtin_trap();
      for (size_t i = 0; i < needed; ++i) {
        if (latest[i] == nullptr) __builtin_trap();
        const size_t bytes = i + 1 == needed ? frameLength - i * st::kPacketPayload : st::kPacketPayload;
        if (std::memcmp(frame + i * st::kPacketPayload, latest[i], bytes) != 0) __builtin_trap();
      }
    }
    latest.clear();
  }
  return 0;
}
