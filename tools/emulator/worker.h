// The emulator's threads and the state they share.
//
// Worker: the thread of one server (command channel, discovery, picture
// push, stream, triggers, control channel), a loop that runs until it is
// asked to stop. A stop request turns the loop's stop token, which ends any
// wait on it, and makes the wake descriptor readable, which ends a poll()
// beside the server's sockets; either way the stop takes effect at once.
//
// Shared<T>: a value read and changed under its own lock; every change wakes
// whoever waits for a condition on it.
//
// And the time-outs and schedules of the servers' loops.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <type_traits>

#include "sockets.h"

namespace vktemu {

using Clock = std::chrono::steady_clock;

// Upper bound on one poll() in a server's loop: the loop looks at its stop
// token at least this often even if a wake-up were lost.
inline constexpr int kMaxPollMs = 1000;
// poll()'s time-out for a wait until `due`: 0 once it passed, at most
// kMaxPollMs.
int pollTimeoutMs(Clock::time_point due);

// A rate of events per second as a schedule takes it: 0 for one that is 0
// or less or not a number (none), at most `max`.
double clampedRate(double perSecond, double max);
Clock::duration periodOf(double perSecond);  // a rate above 0
// The time of the event after the one due at `due`. A schedule that fell
// this far behind (a host that stalled, events too slow for the rate)
// starts again from now instead of catching up with a burst.
inline constexpr std::chrono::seconds kMaxLag{1};
Clock::time_point nextDue(Clock::time_point due, Clock::duration period);

class Worker {
 public:
  using Loop = std::function<void(std::stop_token)>;
  using Open = std::function<bool(std::string* error)>;
  using Close = std::function<void()>;

  Worker() = default;
  ~Worker() { stop(); }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Runs `open` (the server opens what its loop uses; it may refuse with a
  // message), then `loop` on a thread of its own. False with a message when
  // it already runs, or nothing could be opened.
  bool start(std::string* error, const Open& open, Loop loop);
  // Returns at once; the loop sees the stop from now on.
  void requestStop();
  // Requests a stop, waits for the loop to return, then runs `close` (the
  // server closes what its loop used). Nothing when it does not run.
  void stop(const Close& close = {});
  // Started and not asked to stop.
  bool running() const { return running_; }

  // Readable from a stop request or a call() until drain().
  int wakeFd() const { return wake_.get(); }
  void drain() const;

  // Runs `task` on the loop's thread and returns once it ran, so a change
  // to what the loop owns is done when the caller goes on; runs it here when
  // no loop runs. The loop runs what waits with serveCalls() at the top of
  // every turn.
  void call(const std::function<void()>& task);
  void serveCalls();

 private:
  void signal() const;

  std::mutex lifecycleMutex_;  // start, stop and call
  UniqueFd wake_;
  std::jthread thread_;
  std::atomic<bool> running_{false};

  std::mutex callsMutex_;
  std::condition_variable callsDone_;
  std::deque<std::function<void()>> calls_;
  uint64_t callsQueued_ = 0;
  uint64_t callsServed_ = 0;
  bool loopEnded_ = false;  // a loop that ended by itself serves no more calls
};

template <typename T>
class Shared {
 public:
  Shared() = default;
  explicit Shared(T value) : value_(std::move(value)) {}

  T get() const {
    return read([](const T& value) { return value; });
  }
  void set(T value) {
    change([&](T& current) { current = std::move(value); });
  }

  // f(const T&)'s result, under the lock.
  template <typename F>
  auto read(F&& f) const {
    std::lock_guard lock(mutex_);
    return f(value_);
  }
  // f(T&)'s result, under the lock; the waiters are woken after it.
  template <typename F>
  auto change(F&& f) {
    std::unique_lock lock(mutex_);
    if constexpr (std::is_void_v<decltype(f(value_))>) {
      f(value_);
      lock.unlock();
      changed_.notify_all();
    } else {
      auto result = f(value_);
      lock.unlock();
      changed_.notify_all();
      return result;
    }
  }

  // A copy of one member of the value.
  template <typename M, typename C = T>
  M field(M C::*member) const {
    return read([member](const T& value) { return value.*member; });
  }
  // Until that member reaches n (true) or the time is up (false).
  template <typename M, typename C = T>
  bool waitAtLeast(M C::*member, M n, std::chrono::milliseconds timeout) const {
    return waitFor(timeout, [&](const T& value) { return value.*member >= n; });
  }

  // Until done(const T&) holds (true) or the time is up (false).
  template <typename P>
  bool waitFor(std::chrono::milliseconds timeout, P&& done) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return done(value_); });
  }
  // Until done(const T&) holds (true) or a stop is requested (false).
  template <typename P>
  bool wait(std::stop_token stop, P&& done) const {
    std::unique_lock lock(mutex_);
    return changed_.wait(lock, stop, [&] { return done(value_); });
  }
  // Until done(const T&) holds (true), or the time is up or a stop is
  // requested (false).
  template <typename P>
  bool waitUntil(std::stop_token stop, Clock::time_point until, P&& done) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_until(lock, stop, until, [&] { return done(value_); });
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable_any changed_;
  T value_{};
};

}  // namespace vktemu
