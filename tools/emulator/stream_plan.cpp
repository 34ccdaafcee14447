#include "stream_plan.h"

#include <numeric>
#include <utility>

#include "picture_wire.h"
#include "wire.h"

namespace vktemu {
namespace {

// Where a packet-0 copy keeps the record's totalLength and counter.
constexpr size_t kTotalLengthAt = wire::kStreamIndexSize + wire::kRecordAt + wire::kTotalLengthAt;
constexpr size_t kCounterAt = wire::kStreamIndexSize + wire::kRecordAt + 8;  // the record's word 8
constexpr uint32_t kJunkCounter = 0xBAD0BAD0;

// Packet 0 of this frame, announcing a length that would make a receiver
// wait for packets that never come, cut or grown to `size` bytes.
std::vector<uint8_t> junkOpener(std::span<const uint8_t> frame, size_t size) {
  std::vector<uint8_t> bytes = wire::streamPacket(frame, 0);
  if (bytes.size() > kCounterAt + 4) {
    wire::storeLe32(bytes, kTotalLengthAt, static_cast<uint32_t>(frame.size() + 3 * wire::kStreamPacketData + 7));
    wire::storeLe32(bytes, kCounterAt, kJunkCounter);
  }
  bytes.resize(size, 0x5A);
  return bytes;
}

// Sending order of the packets: with `reorder`, the middle ones (all but
// the first and the last) swapped in neighbouring pairs.
std::vector<uint32_t> packetOrder(size_t count, bool reorder) {
  std::vector<uint32_t> order(count);
  std::iota(order.begin(), order.end(), 0u);
  if (reorder) {
    for (size_t i = 1; i + 2 < count; i += 2) std::swap(order[i], order[i + 1]);
  }
  return order;
}

}  // namespace

std::vector<PlannedDatagram> planFrame(std::span<const uint8_t> frame, const StreamFaults& faults,
                                       StreamRandom& random) {
  const size_t count = wire::streamPacketCount(frame.size());
  const bool junk = faults.foreignDatagrams;
  std::vector<PlannedDatagram> out;
  out.reserve(count + count / 8 + 8);
  auto add = [&](StreamRoute route, std::vector<uint8_t> bytes) { out.push_back({route, 0, std::move(bytes)}); };

  if (junk) add(StreamRoute::kForeign, junkOpener(frame, wire::kStreamDatagramSize));
  const auto order = packetOrder(count, faults.reorder);
  for (size_t at = 0; at < order.size(); ++at) {
    const uint32_t index = order[at];
    if (junk && at + 1 == order.size()) {
      add(StreamRoute::kForeign, junkOpener(frame, wire::kStreamDatagramSize + 1));
      add(StreamRoute::kCamera, junkOpener(frame, wire::kStreamDatagramSize + 1));
    }
    // The odd packets leave from the camera's second port: still the
    // camera's, so they must be taken.
    const StreamRoute route = junk && index % 2 == 1 ? StreamRoute::kCameraOtherPort : StreamRoute::kCamera;
    if (!random.chance(faults.lossRate)) {
      out.push_back({route, index, {}});
      if (random.chance(faults.duplicateRate)) out.push_back({route, index, {}});
    }
    if (junk && at == 0) {
      add(StreamRoute::kForeign, junkOpener(frame, wire::kStreamDatagramSize - 1));
      add(StreamRoute::kCamera, junkOpener(frame, wire::kStreamDatagramSize - 1));
    }
  }
  return out;
}

}  // namespace vktemu
