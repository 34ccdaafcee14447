#include "picture_log.h"

namespace vktemu {

void PictureLog::record(PushedPicture picture) {
  {
    std::lock_guard lock(mutex_);
    if (picture.completed) ++completed_;
    keptBytes_ += picture.bytes.size();
    kept_.push_back(std::move(picture));
    if (kept_.size() > kMaxKept) {
      keptBytes_ -= kept_.front().bytes.size();
      kept_.erase(kept_.begin());
    }
    for (auto& old : kept_) {
      if (keptBytes_ <= kMaxKeptBytes) break;
      keptBytes_ -= old.bytes.size();
      old.bytes = {};
    }
  }
  changed_.notify_all();
}

std::vector<PushedPicture> PictureLog::pictures() const {
  std::lock_guard lock(mutex_);
  return kept_;
}

size_t PictureLog::completed() const {
  std::lock_guard lock(mutex_);
  return completed_;
}

bool PictureLog::waitForCompleted(size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return completed_ >= n; });
}

void PictureLog::setHeld(size_t n) {
  {
    std::lock_guard lock(mutex_);
    held_ = n;
  }
  changed_.notify_all();
}

size_t PictureLog::held() const {
  std::lock_guard lock(mutex_);
  return held_;
}

bool PictureLog::waitForHeld(size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return held_ >= n; });
}

void PictureLog::countSnapshot() {
  std::lock_guard lock(mutex_);
  ++snapshots_;
}

size_t PictureLog::snapshots() const {
  std::lock_guard lock(mutex_);
  return snapshots_;
}

}  // namespace vktemu
