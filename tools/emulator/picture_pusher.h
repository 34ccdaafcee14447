// One camera's picture pushes: a thread that takes the camera's picture
// requests in order, takes each picture (test pattern, JPEG, record) and
// sends it to the registered target over a connection of its own. The
// command channel only posts requests, so a slow receiver never holds up
// its replies.
//
// Beside it the simulated triggers: a thread that, while a rate is set,
// posts a trigger request at that rate, each carrying its number. Posting
// never blocks, so the rate holds however slow the pushes are; requests the
// camera cannot keep up with are dropped by its queue.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "camera.h"
#include "worker.h"

namespace vktemu {

class PicturePusher {
 public:
  explicit PicturePusher(std::shared_ptr<Camera> camera) : camera_(std::move(camera)) {}
  ~PicturePusher() { stop(); }

  // Opens the camera's picture queue and starts the threads.
  bool start(std::string* error);
  // Closes the queue (dropping what waits), abandons the push under way and
  // closes the connections held open; returns within milliseconds.
  void stop();

  // 0 or less (or not a number) stops the triggers; the first comes one
  // period after the call. Kept across stop()/start().
  void setTriggerRate(double perSecond);

 private:
  struct Rate {
    double perSecond = 0;
    uint64_t changes = 0;  // tells the trigger thread to start a new schedule
  };

  void trigger(std::stop_token stop);
  void push(const PictureRequest& request, std::stop_token stop);
  std::optional<std::vector<uint8_t>> takePicture(const PictureRequest& request, const PushFaults& faults,
                                                  std::stop_token stop, std::string* error);
  std::optional<sockaddr_in> target(std::string* error) const;

  const std::shared_ptr<Camera> camera_;
  Shared<Rate> triggerRate_;
  Worker worker_;
  Worker triggers_;

  // The threads' while they run.
  uint32_t pictureNumber_ = 0;
  std::vector<UniqueFd> held_;  // connections a fault keeps open
  uint32_t triggerNumber_ = 0;  // the last trigger's
};

}  // namespace vktemu
