// A camera's real-time clock: an offset from the host's clock, so it runs
// on by itself, plus what the last clock Set left beside it, the NTP
// synchronisations under way and the bookkeeping tests read. Locks itself,
// so the command handlers may use it while they hold the camera's lock.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <utility>

#include "worker.h"

namespace vktemu {

class CameraClock {
 public:
  using ForcedReply = std::array<uint8_t, 20>;

  // Seconds since 1970 and microseconds (0..999999).
  std::pair<int64_t, int32_t> now() const;
  // From this moment on the clock reads from here. Microseconds outside
  // 0..999999 carry into the seconds.
  void set(int64_t seconds, int64_t microseconds);

  // An NTP synchronisation finishing at `due`: from then on the clock reads
  // the host's time, unless it is set again after that.
  void syncAt(Clock::time_point due);
  std::chrono::milliseconds ntpDelay() const;
  void setNtpDelay(std::chrono::milliseconds delay);

  Shared<int32_t> extra;                           // the word the last clock Set carried beside the time
  std::atomic<size_t> ntpCount{0};                 // synchronisation requests answered
  Shared<std::optional<ForcedReply>> forcedReply;  // a get reply a test forces instead of the reading

 private:
  void applyDueSyncs() const;  // caller holds the lock

  mutable std::mutex mutex_;
  mutable int64_t offsetUs_ = 0;  // clock minus host time
  // Finishing times of the synchronisations under way; a flood of requests
  // keeps only the latest ones.
  mutable std::multiset<Clock::time_point> syncs_;
  std::chrono::milliseconds ntpDelay_{50};
};

}  // namespace vktemu
