// The frames one camera streamed, for tests to inspect and wait on. Locks
// itself.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace vktemu {

class StreamLog {
 public:
  static constexpr size_t kMaxKept = 16;
  // Padded frames must not eat the host's memory: past this, the oldest
  // kept frames are forgotten early.
  static constexpr size_t kMaxKeptBytes = size_t{256} << 20;

  // A frame about to go out. Kept before its first datagram, so a receiver
  // never holds a frame the log does not know yet.
  void keepFrame(std::shared_ptr<const std::vector<uint8_t>> frame);
  // Once every datagram of a frame went out.
  void countFrame();
  void countDatagrams(size_t n);

  size_t frames() const;
  size_t datagrams() const;
  std::vector<std::vector<uint8_t>> recentFrames() const;  // oldest first
  bool waitForFrames(size_t n, std::chrono::milliseconds timeout) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::deque<std::shared_ptr<const std::vector<uint8_t>>> kept_;
  size_t keptBytes_ = 0;
  size_t frames_ = 0;
  size_t datagrams_ = 0;
};

}  // namespace vktemu
