#include "stream_log.h"

namespace vktemu {

void StreamLog::keepFrame(std::shared_ptr<const std::vector<uint8_t>> frame) {
  std::lock_guard lock(mutex_);
  keptBytes_ += frame->size();
  kept_.push_back(std::move(frame));
  while (kept_.size() > kMaxKept || (kept_.size() > 1 && keptBytes_ > kMaxKeptBytes)) {
    keptBytes_ -= kept_.front()->size();
    kept_.pop_front();
  }
}

void StreamLog::countFrame() {
  {
    std::lock_guard lock(mutex_);
    ++frames_;
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
  std::vector<std::vector<uint8_t>> out;
  out.reserve(kept_.size());
  for (const auto& frame : kept_) out.push_back(*frame);
  return out;
}

bool StreamLog::waitForFrames(size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return frames_ >= n; });
}

}  // namespace vktemu
