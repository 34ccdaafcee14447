// The hand-over from the library's picture threads to the thread that writes
// files. Bounded in pictures and in bytes: when the disk cannot keep up the
// newest pictures are refused rather than the callbacks made to wait.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

#include "picture_route.h"

namespace vktcli {

struct PictureQueueLimits {
  std::size_t maxPictures = 256;
  std::size_t maxBytes = 64u << 20;  // an empty queue takes even a bigger picture
};

class PictureQueue {
 public:
  explicit PictureQueue(PictureQueueLimits limits = {});

  enum class PushResult { Queued, Full, Closed };

  // Never waits. Unless Queued the picture is not taken.
  PushResult TryPush(ReceivedPicture&& picture);

  // Waits for the oldest picture; nullopt once the queue is closed and empty.
  std::optional<ReceivedPicture> Pop();

  // Refuses further pictures; Pop still hands out those already queued.
  void Close();

 private:
  const PictureQueueLimits limits_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<ReceivedPicture> pictures_;
  std::size_t bytes_ = 0;
  bool closed_ = false;
};

}  // namespace vktcli
