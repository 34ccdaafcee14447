#include "frame_queue.h"

namespace vktgst {

void FrameQueue::Configure(unsigned int maxFrames, Leaky leaky) {
  std::lock_guard<std::mutex> lock(lock_);
  maxFrames_ = maxFrames == 0 ? 1 : maxFrames;
  leaky_ = leaky;
}

void FrameQueue::Push(QueuedFrame frame) {
  GstBuffer* unwanted = nullptr;
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (frames_.size() >= maxFrames_) {
      ++dropped_;
      ++droppedSincePop_;
      if (leaky_ == Leaky::kUpstream) {
        unwanted = frame.buffer;
      } else {
        unwanted = frames_.front().buffer;
        frames_.pop_front();
      }
    }
    if (unwanted != frame.buffer) frames_.push_back(frame);
  }
  if (unwanted != nullptr) gst_buffer_unref(unwanted);
  ready_.notify_one();
}

FrameQueue::PopResult FrameQueue::Pop(QueuedFrame* frame, uint64_t* dropsBefore) {
  std::unique_lock<std::mutex> lock(lock_);
  ready_.wait(lock, [this] { return flushing_ || !frames_.empty(); });
  if (flushing_) return PopResult::kFlushing;
  *frame = frames_.front();
  frames_.pop_front();
  *dropsBefore = droppedSincePop_;
  droppedSincePop_ = 0;
  return PopResult::kFrame;
}

void FrameQueue::SetFlushing(bool flushing) {
  {
    std::lock_guard<std::mutex> lock(lock_);
    flushing_ = flushing;
  }
  ready_.notify_all();
}

void FrameQueue::Clear() {
  std::deque<QueuedFrame> old;
  {
    std::lock_guard<std::mutex> lock(lock_);
    old.swap(frames_);
    droppedSincePop_ = 0;
  }
  for (auto& f : old) gst_buffer_unref(f.buffer);
}

uint64_t FrameQueue::Dropped() const {
  std::lock_guard<std::mutex> lock(lock_);
  return dropped_;
}

size_t FrameQueue::Size() const {
  std::lock_guard<std::mutex> lock(lock_);
  return frames_.size();
}

}  // namespace vktgst
