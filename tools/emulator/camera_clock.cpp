#include "camera_clock.h"

#include <algorithm>

#include "emulator.h"

namespace vktemu {
namespace {

constexpr int64_t kMicro = 1000000;
constexpr size_t kMaxSyncs = 1024;
// Far enough for any test, near enough that microseconds never overflow.
constexpr int64_t kMaxSeconds = int64_t{1} << 40;

int64_t hostMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void CameraClock::applyDueSyncs() const {
  const auto now = Clock::now();
  const auto due = syncs_.upper_bound(now);
  if (due == syncs_.begin()) return;
  syncs_.erase(syncs_.begin(), due);
  offsetUs_ = 0;
}

std::pair<int64_t, int32_t> CameraClock::now() const {
  std::lock_guard lock(mutex_);
  applyDueSyncs();
  const int64_t us = hostMicroseconds() + offsetUs_;
  int64_t seconds = us / kMicro;
  int64_t micro = us % kMicro;
  if (micro < 0) {
    micro += kMicro;
    --seconds;
  }
  return {seconds, static_cast<int32_t>(micro)};
}

void CameraClock::set(int64_t seconds, int64_t microseconds) {
  seconds = std::clamp(seconds, -kMaxSeconds, kMaxSeconds);
  microseconds = std::clamp(microseconds, -kMaxSeconds, kMaxSeconds);
  std::lock_guard lock(mutex_);
  // Synchronisations that finished before this moment are overruled by it.
  applyDueSyncs();
  offsetUs_ = seconds * kMicro + microseconds - hostMicroseconds();
}

void CameraClock::syncAt(Clock::time_point due) {
  std::lock_guard lock(mutex_);
  applyDueSyncs();
  syncs_.insert(due);
  if (syncs_.size() > kMaxSyncs) syncs_.erase(syncs_.begin());
}

std::chrono::milliseconds CameraClock::ntpDelay() const {
  std::lock_guard lock(mutex_);
  return ntpDelay_;
}

void CameraClock::setNtpDelay(std::chrono::milliseconds delay) {
  std::lock_guard lock(mutex_);
  ntpDelay_ = clampedDelay(delay);
}

}  // namespace vktemu
