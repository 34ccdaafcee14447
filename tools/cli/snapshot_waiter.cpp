#include "snapshot_waiter.h"

namespace vktcli {

void SnapshotWaiter::Arm(int value) {
  std::lock_guard lock(mutex_);
  armed_ = true;
  value_ = value;
  match_.reset();
  first_.reset();
}

void SnapshotWaiter::OnPicture(std::span<const char> jpeg, const PictureInfo& info, int value) {
  {
    std::lock_guard lock(mutex_);
    if (!armed_ || match_) return;
    // Copying under the lock is fine: at most two pictures are ever kept.
    if (value == value_) {
      match_ = CopyPicture(jpeg, info, value);
    } else if (!first_) {
      first_ = CopyPicture(jpeg, info, value);
    } else {
      return;
    }
  }
  arrived_.notify_all();
}

std::optional<SnapshotWaiter::Result> SnapshotWaiter::WaitUntil(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  arrived_.wait_until(lock, deadline, [this] { return match_.has_value(); });
  if (match_) return Result{std::move(*match_), true};
  if (first_) return Result{std::move(*first_), false};
  return std::nullopt;
}

}  // namespace vktcli
