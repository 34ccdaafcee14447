#include "picture_queue.h"

namespace vktemu {

bool PictureQueue::post(const PictureRequest& request) {
  {
    std::lock_guard lock(mutex_);
    if (!open_ || waiting_.size() >= kMaxWaiting) return false;
    waiting_.push_back(request);
  }
  changed_.notify_all();
  return true;
}

std::optional<PictureRequest> PictureQueue::next(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, timeout, [&] { return !open_ || !waiting_.empty(); }) || !open_) return std::nullopt;
  const PictureRequest request = waiting_.front();
  waiting_.pop_front();
  return request;
}

void PictureQueue::open() {
  std::lock_guard lock(mutex_);
  open_ = true;
}

void PictureQueue::close() {
  {
    std::lock_guard lock(mutex_);
    open_ = false;
    waiting_.clear();
  }
  changed_.notify_all();
}

}  // namespace vktemu
