// Stopping a long-running subcommand: a flag others can wait on with a
// deadline, and SIGINT/SIGTERM turned into setting it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>

namespace vktcli {

class StopRequest {
 public:
  void Request();
  bool Requested() const;
  // True as soon as a stop is requested, false when `deadline` passes first.
  bool WaitUntil(std::chrono::steady_clock::time_point deadline);

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool requested_ = false;
};

// While alive, SIGINT and SIGTERM request `stop` instead of ending the
// process. Must be made before any other thread starts (the library's too):
// threads inherit the blocked signals, so only this object's own thread
// takes them. Restores the signal mask when destroyed; signals that came
// meanwhile are consumed, not delivered late.
class StopOnSignals {
 public:
  explicit StopOnSignals(StopRequest& stop);
  ~StopOnSignals();

 private:
  void Watch(StopRequest& stop);

  sigset_t signals_{};
  sigset_t previousMask_{};
  std::atomic<bool> finishing_{false};
  std::thread watcher_;
};

}  // namespace vktcli
