// The stream faults' dice: a small generator (splitmix64) whose sequence
// depends only on its seed, so a lossy run can be repeated exactly.
#pragma once

#include <cstdint>

namespace vktemu {

class StreamRandom {
 public:
  explicit StreamRandom(uint64_t seed = 1) : state_(seed) {}
  void reseed(uint64_t seed) { state_ = seed; }

  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // True with this probability (0..1).
  bool chance(double probability) {
    if (probability <= 0) return false;
    return static_cast<double>(next() >> 11) * 0x1.0p-53 < probability;
  }

 private:
  uint64_t state_;
};

}  // namespace vktemu
