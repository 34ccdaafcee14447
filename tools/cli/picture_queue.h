// The hand-over from the library's threads to the thread that writes files.
// Bounded in items and in bytes: when the disk cannot keep up the newest
// items are refused rather than the callbacks made to wait. An item is
// anything whose bytes lie in a `jpeg` vector: a pushed picture or a frame of
// the video stream.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

#include "callback_routes.h"
#include "picture_file.h"

namespace vktcli {

struct PictureQueueLimits {
  std::size_t maxPictures = 256;
  std::size_t maxBytes = 64u << 20;  // an empty queue takes even a bigger picture
};

// What a receiver counts, shared by the library's threads, the writer and
// the main thread, under one lock. `Totals` has the members dropped,
// written and writeFailures; the receiver adds what it receives.
template <class Totals>
class WriteTally {
 public:
  void Dropped() {
    std::lock_guard lock(mutex_);
    ++totals_.dropped;
  }
  void Written() {
    std::lock_guard lock(mutex_);
    ++totals_.written;
  }
  // Keeps the first message: the rest usually repeat it (a full disk).
  void WriteFailed(const std::string& message) {
    std::lock_guard lock(mutex_);
    if (totals_.writeFailures++ == 0) firstFailure_ = message;
  }
  Totals Snapshot() const {
    std::lock_guard lock(mutex_);
    return totals_;
  }
  std::string FirstWriteFailure() const {  // "" when none failed
    std::lock_guard lock(mutex_);
    return firstFailure_;
  }
  // Tells `err` how many `what` ("pictures") could not be written and why
  // the first could not; false when none failed.
  bool ReportWriteFailures(std::ostream& err, std::string_view what) const {
    const std::uint64_t failures = Snapshot().writeFailures;
    if (failures > 0) {
      err << "vktcli: " << failures << " " << what << " could not be written, the first: " << FirstWriteFailure()
          << "\n";
    }
    return failures > 0;
  }

 protected:
  mutable std::mutex mutex_;
  Totals totals_;  // under mutex_

 private:
  std::string firstFailure_;
};

template <class Item>
class BoundedPictureQueue {
 public:
  explicit BoundedPictureQueue(PictureQueueLimits limits = {}) : limits_(limits) {}

  enum class PushResult { Queued, Full, Closed };

  // Never waits. Unless Queued the item is not taken.
  PushResult TryPush(Item&& item) {
    {
      std::lock_guard lock(mutex_);
      if (closed_) return PushResult::Closed;
      const std::size_t size = item.jpeg.size();
      // An empty queue takes any item, so a huge one is written, not lost.
      if (!items_.empty() && (items_.size() >= limits_.maxPictures || bytes_ + size > limits_.maxBytes)) {
        return PushResult::Full;
      }
      bytes_ += size;
      items_.push_back(std::move(item));
    }
    changed_.notify_one();
    return PushResult::Queued;
  }

  // Waits for the oldest item; nullopt once the queue is closed and empty.
  std::optional<Item> Pop() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return closed_ || !items_.empty(); });
    if (items_.empty()) return std::nullopt;
    Item item = std::move(items_.front());
    items_.pop_front();
    bytes_ -= item.jpeg.size();
    return item;
  }

  // Refuses further items; Pop still hands out those already queued.
  void Close() {
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
    }
    changed_.notify_all();
  }

 private:
  const PictureQueueLimits limits_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item> items_;
  std::size_t bytes_ = 0;
  bool closed_ = false;
};

using PictureQueue = BoundedPictureQueue<ReceivedPicture>;

// The writer's loop: each item the queue hands out goes to the file
// `path(item)` names and is counted in `tally`, until the queue is closed
// and empty.
template <class Item, class Totals, class PathOf>
void WriteQueued(BoundedPictureQueue<Item>& queue, WriteTally<Totals>& tally, PathOf path) {
  while (std::optional<Item> item = queue.Pop()) {
    if (std::string error; WritePictureFile(path(*item), item->jpeg, error)) {
      tally.Written();
    } else {
      tally.WriteFailed(error);
    }
  }
}

}  // namespace vktcli
