// Picks the answer to one snapshot request out of the pictures a camera
// pushes. Cameras put the request's value into the picture's record, but
// triggered pictures arrive on the same path, and not every camera echoes
// the value: so the picture with the requested value wins, and failing that
// the first picture that arrived after the request.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "callback_routes.h"

namespace vktcli {

class SnapshotWaiter : public PictureSink {
 public:
  // Pictures before this are not answers; call it before sending the
  // request, since the picture may arrive before the request call returns.
  void Arm(int value);

  void OnPicture(std::span<const char> jpeg, const PictureInfo& info, int value) override;

  struct Result {
    ReceivedPicture picture;
    bool valueMatched = false;  // false: the first picture, with another value
  };

  // Waits until the picture with the requested value arrived or `deadline`
  // passed; then the first picture since Arm, or nullopt when none came.
  std::optional<Result> WaitUntil(std::chrono::steady_clock::time_point deadline);

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  bool armed_ = false;
  int value_ = 0;
  std::optional<ReceivedPicture> match_;
  std::optional<ReceivedPicture> first_;
};

}  // namespace vktcli
