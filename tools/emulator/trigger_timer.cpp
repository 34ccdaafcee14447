#include "trigger_timer.h"

namespace vktemu {

void TriggerTimer::setRate(double perSecond) {
  rate_.change([&](Rate& rate) {
    rate.perSecond = clampedRate(perSecond, kMaxPerSecond);
    ++rate.changes;
  });
}

bool TriggerTimer::start(std::string* error) {
  return worker_.start(
      error,
      [this](std::string*) {
        rate_.change([](Rate& rate) { ++rate.changes; });
        return true;
      },
      [this](std::stop_token stop) { run(stop); });
}

void TriggerTimer::run(std::stop_token stop) {
  while (!stop.stop_requested()) {
    // A new schedule: the first trigger one period from now.
    const Rate rate = rate_.get();
    auto changed = [seen = rate.changes](const Rate& now) { return now.changes != seen; };
    if (rate.perSecond <= 0) {
      rate_.wait(stop, changed);
      continue;
    }
    const auto period = periodOf(rate.perSecond);
    auto next = Clock::now() + period;
    while (!rate_.waitUntil(stop, next, changed) && !stop.stop_requested()) {
      if (Clock::now() < next) continue;
      camera_->pictureQueue.post({PictureSource::kTrigger, static_cast<int32_t>(++number_)});
      next = nextDue(next, period);
    }
  }
}

}  // namespace vktemu
