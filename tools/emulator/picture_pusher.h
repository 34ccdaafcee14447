// One camera's picture pushes: a thread that takes the camera's picture
// requests in order, takes each picture (test pattern, JPEG, record) and
// sends it to the registered target over a connection of its own. The
// command channel only posts requests, so a slow receiver never holds up
// its replies.
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

  // Opens the camera's picture queue and starts the thread.
  bool start(std::string* error);
  // Closes the queue (dropping what waits), abandons the push under way and
  // closes the connections held open; returns within milliseconds.
  void stop();

 private:
  void push(const PictureRequest& request, std::stop_token stop);
  std::optional<std::vector<uint8_t>> takePicture(const PictureRequest& request, const PushFaults& faults,
                                                  std::stop_token stop, std::string* error);
  std::optional<sockaddr_in> target(std::string* error) const;

  const std::shared_ptr<Camera> camera_;
  Worker worker_;

  // The thread's while it runs.
  uint32_t pictureNumber_ = 0;
  std::vector<UniqueFd> held_;  // connections a fault keeps open
};

}  // namespace vktemu
