// Simulated triggers of one camera: a thread that, while a rate is set,
// posts a trigger picture request at that rate, each carrying its number.
// Posting never blocks, so the rate holds however slow the pushes are;
// requests the camera cannot keep up with are dropped by its queue.
#pragma once

#include <cstdint>
#include <memory>
#include <stop_token>

#include "camera.h"
#include "worker.h"

namespace vktemu {

class TriggerTimer {
 public:
  explicit TriggerTimer(std::shared_ptr<Camera> camera) : camera_(std::move(camera)) {}
  ~TriggerTimer() { stop(); }

  // 0 or less (or not a number) stops; the first trigger comes one period
  // after the call. Kept across stop()/start().
  void setRate(double perSecond);
  bool start(std::string* error);
  void stop() { worker_.stop(); }  // returns at once

 private:
  struct Rate {
    double perSecond = 0;
    uint64_t changes = 0;  // tells the thread to start a new schedule
  };

  void run(std::stop_token stop);

  const std::shared_ptr<Camera> camera_;
  Shared<Rate> rate_;
  uint32_t number_ = 0;  // the last trigger's; the thread's
  Worker worker_;
};

}  // namespace vktemu
