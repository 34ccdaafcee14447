#include "stream_state.h"

#include <algorithm>
#include <cmath>

namespace vktemu {
namespace {

double clampRate(double rate) { return std::isnan(rate) ? 0 : std::clamp(rate, 0.0, 1.0); }

}  // namespace

template <typename F>
void StreamState::change(F&& f) {
  {
    std::lock_guard lock(mutex_);
    f(settings_);
    ++settings_.version;
  }
  changed_.notify_all();
}

StreamSettings StreamState::settings() const {
  std::lock_guard lock(mutex_);
  return settings_;
}

void StreamState::setRate(double framesPerSecond) {
  change([&](StreamSettings& s) {
    s.framesPerSecond =
        std::isnan(framesPerSecond) || framesPerSecond <= 0 ? 0 : std::min(framesPerSecond, kMaxFramesPerSecond);
  });
}

void StreamState::setFrameSize(int width, int height, int quality) {
  change([&](StreamSettings& s) {
    s.format.width = std::clamp(width, 8, 4096);
    s.format.height = std::clamp(height, 8, 4096);
    s.format.quality = std::clamp(quality, 1, 100);
  });
}

void StreamState::setPad(size_t bytes) {
  change([&](StreamSettings& s) { s.format.padTo = std::min(bytes, kMaxPad); });
}

void StreamState::setFaults(const StreamFaults& faults) {
  change([&](StreamSettings& s) {
    s.faults = faults;
    s.faults.lossRate = clampRate(faults.lossRate);
    s.faults.duplicateRate = clampRate(faults.duplicateRate);
    ++s.faultsVersion;
  });
}

void StreamState::setModeStarted(bool started) {
  change([&](StreamSettings& s) { s.modeStarted = started; });
}

void StreamState::setForced(std::optional<bool> forced) {
  change([&](StreamSettings& s) { s.forced = forced; });
}

void StreamState::touch() {
  change([](StreamSettings&) {});
}

bool StreamState::waitForChange(uint64_t seen, Clock::time_point until, const std::atomic<bool>& stop) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_until(lock, until, [&] { return stop || settings_.version != seen; });
}

void StreamState::wake() const {
  // Taking the lock orders the caller's stop flag before the waiter's check.
  { std::lock_guard lock(mutex_); }
  changed_.notify_all();
}

}  // namespace vktemu
