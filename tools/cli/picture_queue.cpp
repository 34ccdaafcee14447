#include "picture_queue.h"

namespace vktcli {

PictureQueue::PictureQueue(PictureQueueLimits limits) : limits_(limits) {}

PictureQueue::PushResult PictureQueue::TryPush(ReceivedPicture&& picture) {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return PushResult::Closed;
    const std::size_t size = picture.jpeg.size();
    // An empty queue takes any picture, so a huge one is written, not lost.
    if (!pictures_.empty() && (pictures_.size() >= limits_.maxPictures || bytes_ + size > limits_.maxBytes)) {
      return PushResult::Full;
    }
    bytes_ += size;
    pictures_.push_back(std::move(picture));
  }
  changed_.notify_one();
  return PushResult::Queued;
}

std::optional<ReceivedPicture> PictureQueue::Pop() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return closed_ || !pictures_.empty(); });
  if (pictures_.empty()) return std::nullopt;
  ReceivedPicture picture = std::move(pictures_.front());
  pictures_.pop_front();
  bytes_ -= picture.jpeg.size();
  return picture;
}

void PictureQueue::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
}

}  // namespace vktcli
