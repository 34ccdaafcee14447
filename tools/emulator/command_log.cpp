#include "command_log.h"

namespace vktemu {

void CommandLog::record(CommandRecord record) {
  {
    std::lock_guard lock(mutex_);
    const size_t size = record.bytes.size();
    if (kept_.size() < kMaxKept && keptBytes_ + size <= kMaxKeptBytes) {
      keptBytes_ += size;
      kept_.push_back(std::move(record));
    }
    ++count_;
  }
  changed_.notify_all();
}

std::vector<CommandRecord> CommandLog::records() const {
  std::lock_guard lock(mutex_);
  return kept_;
}

void CommandLog::clear() {
  std::lock_guard lock(mutex_);
  kept_.clear();
  keptBytes_ = 0;
  count_ = 0;
}

size_t CommandLog::count() const {
  std::lock_guard lock(mutex_);
  return count_;
}

bool CommandLog::waitFor(size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return count_ >= n; });
}

}  // namespace vktemu
