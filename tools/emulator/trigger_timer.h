// Simulated triggers of one camera: a thread that, while a rate is set,
// posts a trigger picture request at that rate, each carrying its number.
// Posting never blocks, so the rate holds however slow the pushes are;
// requests the camera cannot keep up with are dropped by its queue.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "camera.h"

namespace vktemu {

class TriggerTimer {
 public:
  static constexpr double kMaxPerSecond = 1000;

  explicit TriggerTimer(std::shared_ptr<Camera> camera);
  ~TriggerTimer();
  TriggerTimer(const TriggerTimer&) = delete;
  TriggerTimer& operator=(const TriggerTimer&) = delete;

  // 0 or less (or not a number) stops; the first trigger comes one period
  // after the call. Kept across stop()/start().
  void setRate(double perSecond);
  void start();
  void stop();  // returns at once

 private:
  using Clock = std::chrono::steady_clock;

  void run();

  const std::shared_ptr<Camera> camera_;
  std::mutex lifecycleMutex_;
  std::thread thread_;

  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopRequested_ = false;
  double perSecond_ = 0;
  uint64_t rateChanges_ = 0;  // tells the thread to start a new schedule
  uint32_t number_ = 0;       // the last trigger's
};

}  // namespace vktemu
