// A camera's real-time clock: an offset from the host's clock, so it runs
// on by itself, plus what the last clock Set left beside it, the NTP
// synchronisations under way and the bookkeeping tests read. Locks itself,
// so the command handlers may use it while they hold the camera's lock.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <utility>

namespace vktemu {

class CameraClock {
 public:
  using Steady = std::chrono::steady_clock;
  using ForcedReply = std::array<uint8_t, 20>;

  // Seconds since 1970 and microseconds (0..999999).
  std::pair<int64_t, int32_t> now() const;
  // From this moment on the clock reads from here. Microseconds outside
  // 0..999999 carry into the seconds.
  void set(int64_t seconds, int64_t microseconds);

  int32_t extra() const;
  void setExtra(int32_t extra);

  // An NTP synchronisation finishing at `due`: from then on the clock reads
  // the host's time, unless it is set again after that.
  void syncAt(Steady::time_point due);
  void countNtp();
  size_t ntpCount() const;
  std::chrono::milliseconds ntpDelay() const;
  void setNtpDelay(std::chrono::milliseconds delay);

  // A get reply a test forces instead of the reading.
  std::optional<ForcedReply> forcedReply() const;
  void setForcedReply(std::optional<ForcedReply> reply);

 private:
  void applyDueSyncs() const;  // caller holds the lock

  mutable std::mutex mutex_;
  mutable int64_t offsetUs_ = 0;  // clock minus host time
  // Finishing times of the synchronisations under way; a flood of requests
  // keeps only the latest ones.
  mutable std::multiset<Steady::time_point> syncs_;
  int32_t extra_ = 0;
  std::chrono::milliseconds ntpDelay_{50};
  size_t ntpCount_ = 0;
  std::optional<ForcedReply> forcedReply_;
};

}  // namespace vktemu
