#include "stream_log.h"

namespace vktemu {

void StreamLog::recordFrame(std::vector<uint8_t> frame) {
  {
    std::lock_guard lock(mutex_);
    ++frames_;
    keptBytes_ += frame.size();
    kept_.push_back(std::move(frame));
    while (kept_.size() > kMaxKept || (kept_.size() > 1 && keptBytes_ > kMaxKeptBytes)) {
      keptBytes_ -= kept_.front().size();
      kept_.pop_front();
    }
  }
  changed_.notify_all();
}

void StreamLog::countDatagrams(size_t n) {
  std::lock_guard lock(mutex_);
  datagrams_ += n;
}

size_t StreamLog::frames() const {
  std::lock_guard lock(mutex_);
  return frames_;
}

size_t StreamLog::datagrams() const {
  std::lock_guard lock(mutex_);
  return datagrams_;
}

std::vector<std::vector<uint8_t>> StreamLog::recentFrames() const {
  std::lock_guard lock(mutex_);
  return {kept_.begin(), kept_.end()};
}

bool StreamLog::waitForFrames(size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return frames_ >= n; });
}

}  // namespace vktemu
