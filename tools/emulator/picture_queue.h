// The pictures a camera was asked for and has not pushed yet, in order.
// The command channel and the trigger timer post; the camera's pusher takes
// them one at a time. Locks itself.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

namespace vktemu {

// What made the camera take the picture; it goes out as the record's word 0.
enum class PictureSource : uint32_t { kSnapshot = 1, kTrigger = 2 };

struct PictureRequest {
  PictureSource source = PictureSource::kSnapshot;
  int32_t value = 0;  // the record's word 12
};

class PictureQueue {
 public:
  // A camera falling behind loses new requests past this many, as a real
  // one's buffer overflows.
  static constexpr size_t kMaxWaiting = 256;

  // False when dropped: the queue is closed (the emulator is stopped) or full.
  bool post(const PictureRequest& request);
  // The oldest request; nothing when none came within `timeout` or the
  // queue is closed.
  std::optional<PictureRequest> next(std::chrono::milliseconds timeout);
  void open();
  // Drops what waits and wakes next() at once.
  void close();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<PictureRequest> waiting_;
  bool open_ = false;
};

}  // namespace vktemu
