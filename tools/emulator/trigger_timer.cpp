#include "trigger_timer.h"

#include <algorithm>
#include <cmath>

namespace vktemu {
namespace {

// A schedule this far behind (a host that stalled) starts again from now
// instead of firing a burst.
constexpr std::chrono::seconds kMaxLag{1};
// The flags are looked at again at least this often.
constexpr std::chrono::seconds kMaxWait{1};

}  // namespace

TriggerTimer::TriggerTimer(std::shared_ptr<Camera> camera) : camera_(std::move(camera)) {}

TriggerTimer::~TriggerTimer() { stop(); }

void TriggerTimer::setRate(double perSecond) {
  {
    std::lock_guard lock(mutex_);
    perSecond_ = std::isnan(perSecond) || perSecond <= 0 ? 0 : std::min(perSecond, kMaxPerSecond);
    ++rateChanges_;
  }
  changed_.notify_all();
}

void TriggerTimer::start() {
  std::lock_guard lifecycle(lifecycleMutex_);
  if (thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopRequested_ = false;
    ++rateChanges_;
  }
  thread_ = std::thread([this] { run(); });
}

void TriggerTimer::stop() {
  std::lock_guard lifecycle(lifecycleMutex_);
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopRequested_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void TriggerTimer::run() {
  std::unique_lock lock(mutex_);
  uint64_t schedule = rateChanges_;
  Clock::duration period{};
  Clock::time_point next{};
  auto restart = [&] {
    schedule = rateChanges_;
    if (perSecond_ <= 0) return;
    period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / perSecond_));
    next = Clock::now() + period;
  };
  restart();
  auto interrupted = [&] { return stopRequested_ || schedule != rateChanges_; };
  while (!stopRequested_) {
    if (schedule != rateChanges_) restart();
    const auto wakeAt = Clock::now() + kMaxWait;
    if (perSecond_ <= 0) {
      changed_.wait_until(lock, wakeAt, interrupted);
      continue;
    }
    if (changed_.wait_until(lock, std::min(next, wakeAt), interrupted) || Clock::now() < next) continue;
    const auto number = static_cast<int32_t>(++number_);
    lock.unlock();
    camera_->pictureQueue().post({PictureSource::kTrigger, number});
    lock.lock();
    next += period;
    if (Clock::now() - next > kMaxLag) next = Clock::now() + period;
  }
}

}  // namespace vktemu
