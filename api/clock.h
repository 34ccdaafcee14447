// Time budgets run on the monotonic clock: a step of the wall clock must
// neither stretch nor cut a time-out.
#pragma once

#include <ace/Time_Value.h>

#include <chrono>
#include <cstdint>

namespace vkt {

using MonoClock = std::chrono::steady_clock;

// Measures the time since its creation.
class Stopwatch {
 public:
  Stopwatch() : start_(MonoClock::now()) {}
  // Whole milliseconds elapsed (truncated).
  uint64_t ElapsedMs() const {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(MonoClock::now() - start_).count());
  }
  MonoClock::time_point Start() const { return start_; }

 private:
  MonoClock::time_point start_;
};

// A relative ACE time-out of `ms` milliseconds.
inline ACE_Time_Value MsToTimeValue(uint64_t ms) {
  return ACE_Time_Value(static_cast<time_t>(ms / 1000), static_cast<suseconds_t>((ms % 1000) * 1000));
}

}  // namespace vkt
