// The bounded hand-over between the library's threads (producers, which
// must never block) and the element's streaming thread (the consumer, which
// waits until a frame comes or the element unlocks).
#pragma once

#include <gst/gst.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

namespace vktgst {

// As the leaky property of GStreamer's queue element: which frame goes when
// the queue is full.
enum class Leaky {
  kUpstream = 1,    // the new frame
  kDownstream = 2,  // the oldest queued frame
};

struct QueuedFrame {
  GstBuffer* buffer = nullptr;  // owned
  int width = 0;
  int height = 0;
  GstClockTime arrival = GST_CLOCK_TIME_NONE;  // clock time when it arrived
};

class FrameQueue {
 public:
  FrameQueue() = default;
  ~FrameQueue() { Clear(); }
  FrameQueue(const FrameQueue&) = delete;
  FrameQueue& operator=(const FrameQueue&) = delete;

  void Configure(unsigned int maxFrames, Leaky leaky);

  // Takes the frame's buffer. Never blocks; when full, one frame is dropped
  // as `leaky` says (and counted).
  void Push(QueuedFrame frame);

  enum class PopResult { kFrame, kFlushing };
  // Waits for a frame unless flushing. *dropsBefore: frames dropped since
  // the last pop (the popped frame follows a gap).
  PopResult Pop(QueuedFrame* frame, uint64_t* dropsBefore);

  void SetFlushing(bool flushing);
  void Clear();

  uint64_t Dropped() const;
  size_t Size() const;

 private:
  mutable std::mutex lock_;
  std::condition_variable ready_;
  std::deque<QueuedFrame> frames_;
  unsigned int maxFrames_ = 4;
  Leaky leaky_ = Leaky::kDownstream;
  bool flushing_ = false;
  uint64_t dropped_ = 0;
  uint64_t droppedSincePop_ = 0;
};

}  // namespace vktgst
