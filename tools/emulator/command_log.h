// The requests that reached one camera's command channel, for tests to
// inspect and wait on.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "emulator.h"

namespace vktemu {

class CommandLog {
 public:
  // A flood must not eat the host's memory: past either limit, requests are
  // only counted.
  static constexpr size_t kMaxKept = 100000;
  static constexpr size_t kMaxKeptBytes = size_t{256} << 20;

  void record(CommandRecord record);
  std::vector<CommandRecord> records() const;
  void clear();
  size_t count() const;  // since the last clear(), kept or not
  bool waitFor(size_t n, std::chrono::milliseconds timeout) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<CommandRecord> kept_;
  size_t keptBytes_ = 0;
  size_t count_ = 0;
};

}  // namespace vktemu
