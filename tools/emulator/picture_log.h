// The pictures one camera pushed, and the snapshot requests it answered,
// for tests to inspect and wait on. Locks itself.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <vector>

#include "emulator.h"

namespace vktemu {

class PictureLog {
 public:
  static constexpr size_t kMaxKept = 64;
  // Large pictures must not eat the host's memory: past this, the oldest
  // kept pictures lose their bytes (the rest of the entry stays).
  static constexpr size_t kMaxKeptBytes = size_t{256} << 20;

  void record(PushedPicture picture);
  std::vector<PushedPicture> pictures() const;
  size_t completed() const;
  bool waitForCompleted(size_t n, std::chrono::milliseconds timeout) const;

  // Connections the pusher holds open now (set by the pusher).
  void setHeld(size_t n);
  size_t held() const;
  bool waitForHeld(size_t n, std::chrono::milliseconds timeout) const;

  void countSnapshot();
  size_t snapshots() const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<PushedPicture> kept_;  // oldest first
  size_t keptBytes_ = 0;
  size_t completed_ = 0;
  size_t snapshots_ = 0;
  size_t held_ = 0;
};

}  // namespace vktemu
