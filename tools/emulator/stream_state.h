// One camera's stream settings and switches, as tests, the control channel
// and command 501 set them. The camera's stream sender reads them and
// sleeps on them until something changes. Locks itself, so command
// handlers may use it while they hold the camera's lock.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>

#include "emulator.h"

namespace vktemu {

struct StreamFormat {
  int width = 320;
  int height = 240;
  int quality = 85;
  size_t padTo = 0;
};

struct StreamSettings {
  double framesPerSecond = 10;
  StreamFormat format;
  StreamFaults faults;
  uint64_t faultsVersion = 0;  // changes each time faults are set (the generator starts again)
  bool modeStarted = false;    // the last 501 said start
  std::optional<bool> forced;
  uint64_t version = 0;  // changes with anything here or the stream target
};

class StreamState {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr double kMaxFramesPerSecond = 1000;
  static constexpr size_t kMaxPad = size_t{64} << 20;

  StreamSettings settings() const;

  void setRate(double framesPerSecond);  // clamped; 0 or less (or not a number) pauses
  void setFrameSize(int width, int height, int quality);  // clamped
  void setPad(size_t bytes);                              // clamped
  void setFaults(const StreamFaults& faults);             // rates clamped to 0..1
  void setModeStarted(bool started);
  void setForced(std::optional<bool> forced);
  // Something the sender looks at changed elsewhere (the stream target).
  void touch();

  // Until the settings move past `seen`, `stop` is raised (and wake()
  // called) or `until` passes. True on a change.
  bool waitForChange(uint64_t seen, Clock::time_point until, const std::atomic<bool>& stop) const;
  void wake() const;

 private:
  template <typename F>
  void change(F&& f);

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  StreamSettings settings_;
};

}  // namespace vktemu
