#include "worker.h"

#include <sys/eventfd.h>

#include <algorithm>
#include <cmath>

namespace vktemu {

int pollTimeoutMs(Clock::time_point due) {
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now()).count();
  return static_cast<int>(std::clamp<decltype(wait)>(wait, 0, kMaxPollMs));
}

double clampedRate(double perSecond, double max) {
  return std::isnan(perSecond) || perSecond <= 0 ? 0 : std::min(perSecond, max);
}

Clock::duration periodOf(double perSecond) {
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / perSecond));
}

Clock::time_point nextDue(Clock::time_point due, Clock::duration period) {
  const auto next = due + period;
  return Clock::now() - next > kMaxLag ? Clock::now() + period : next;
}

bool Worker::start(std::string* error, const Open& open, Loop loop) {
  std::lock_guard lifecycle(lifecycleMutex_);
  if (thread_.joinable()) {
    if (error) *error = "already running";
    return false;
  }
  wake_.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
  if (!wake_.valid()) {
    if (error) *error = callFailed("eventfd");
    return false;
  }
  if (open && !open(error)) {
    wake_.reset();
    return false;
  }
  {
    std::lock_guard lock(callsMutex_);
    loopEnded_ = false;
  }
  running_ = true;
  thread_ = std::jthread([this, loop = std::move(loop)](std::stop_token stop) {
    loop(stop);
    // Whoever still waits on a call gets it run before the loop's state is
    // handed back.
    {
      std::lock_guard lock(callsMutex_);
      loopEnded_ = true;
    }
    serveCalls();
  });
  return true;
}

void Worker::requestStop() {
  std::lock_guard lifecycle(lifecycleMutex_);
  running_ = false;
  thread_.request_stop();
  if (wake_.valid()) signal();
}

void Worker::stop(const Close& close) {
  std::lock_guard lifecycle(lifecycleMutex_);
  if (!thread_.joinable()) return;
  running_ = false;
  thread_.request_stop();
  signal();
  thread_.join();
  if (close) close();
  wake_.reset();
}

void Worker::signal() const {
  const uint64_t one = 1;
  // Only fails when the counter would overflow, and then it is signalled anyway.
  [[maybe_unused]] ssize_t n = ::write(wake_.get(), &one, sizeof one);
}

void Worker::drain() const {
  uint64_t value = 0;
  [[maybe_unused]] ssize_t n = ::read(wake_.get(), &value, sizeof value);
}

void Worker::call(const std::function<void()>& task) {
  std::lock_guard lifecycle(lifecycleMutex_);
  std::unique_lock lock(callsMutex_);
  if (!thread_.joinable() || loopEnded_) {
    lock.unlock();
    task();
    return;
  }
  const uint64_t ticket = ++callsQueued_;
  calls_.push_back(task);
  signal();
  callsDone_.wait(lock, [&] { return callsServed_ >= ticket; });
}

void Worker::serveCalls() {
  std::deque<std::function<void()>> calls;
  {
    std::lock_guard lock(callsMutex_);
    calls.swap(calls_);
  }
  if (calls.empty()) return;
  for (const auto& task : calls) task();
  {
    std::lock_guard lock(callsMutex_);
    callsServed_ += calls.size();
  }
  callsDone_.notify_all();
}

}  // namespace vktemu
