// Counters kept for diagnosis: per camera, and for what belongs to no
// camera. Counting is one relaxed atomic add, cheap enough for every
// picture, frame and datagram path.
#pragma once

#include <atomic>
#include <cstdint>

#include "VKTNetSDK11.h"

namespace vkt {

using Counter = std::atomic<uint64_t>;

inline void Count(Counter& counter, uint64_t n = 1) { counter.fetch_add(n, std::memory_order_relaxed); }

enum class PictureDrop {
  kBadMarker,
  kShortApp1,
  kOversize,
  kTimeWindow,
  kClosedEarly,
  kCameraDeleted,
  kNoCallback,
  kOverShare,
  kBufferCap,
  kCount
};

struct CameraCounters {
  Counter commandsSent{0};
  Counter commandTimeouts{0};
  Counter commandNetworkErrors{0};
  Counter commandRefusals{0};
  Counter commandMismatches{0};
  Counter reconnects{0};
  Counter picturesDelivered{0};
  Counter pictureBytes{0};
  Counter pictureConnections{0};
  Counter pictureConnectionsOpen{0};  // now; the receivers' share check reads it
  Counter pictureDrops[static_cast<int>(PictureDrop::kCount)]{};
  Counter framesDelivered{0};
  Counter streamBytes{0};
  Counter framesDroppedGap{0};
  Counter framesDroppedPastLast{0};
  Counter framesDroppedOversize{0};
  Counter datagramsIgnoredSize{0};
  Counter datagramsIgnoredSender{0};

  void Drop(PictureDrop reason) { Count(pictureDrops[static_cast<int>(reason)]); }
  CameraStatistics Snapshot() const;
};

struct LibraryCounterSet {
  Counter unknownSenderConnections{0};
  Counter discoveryDatagramsSkipped{0};
  // Picture connections and the bytes they hold: now and at most.
  Counter pictureConnectionsOpen{0};
  Counter pictureConnectionsPeak{0};
  Counter pictureBytesBuffered{0};
  Counter pictureBytesBufferedPeak{0};

  LibraryStatistics Snapshot() const;
};

// Raises `peak` to at least `value`.
inline void RaisePeak(Counter& peak, uint64_t value) {
  uint64_t seen = peak.load(std::memory_order_relaxed);
  while (seen < value && !peak.compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
  }
}

// Process-wide; lives as long as the process.
LibraryCounterSet& LibraryCounters();

// Copies at most `stats->size` bytes of `full` into `stats`; false when the
// caller's size cannot hold even the size and version words.
template <typename Record>
bool FillVersioned(const Record& full, Record* stats) {
  if (stats == nullptr || stats->size < 8) return false;
  const uint32_t size = stats->size < sizeof(Record) ? stats->size : static_cast<uint32_t>(sizeof(Record));
  Record copy = full;
  copy.size = size;
  copy.version = VKT_STATISTICS_VERSION;
  __builtin_memcpy(stats, &copy, size);
  return true;
}

}  // namespace vkt
