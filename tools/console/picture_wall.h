// The newest pictures the cameras pushed (snapshots and triggers), kept for
// the page's picture wall: at most a count and a byte total, the oldest
// going first. Filled on the library's picture threads.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "callback_routes.h"

namespace vktconsole {

struct WallPicture {
  std::uint64_t id = 0;  // from 1, in order of arrival
  PictureInfo info{};
  int value = 0;
  std::chrono::system_clock::time_point arrival{};
  std::shared_ptr<const std::vector<char>> jpeg;
};

struct WallLimits {
  std::size_t pictures = 24;
  std::size_t bytes = 64u << 20;
};

class PictureWall : public vktcli::PictureSink {
 public:
  explicit PictureWall(WallLimits limits = {});

  void OnPicture(std::span<const char> jpeg, const PictureInfo& info, int value) override;

  // Newest first; only those with an id above `after`, at most `limit`.
  std::vector<WallPicture> Newest(std::uint64_t after, std::size_t limit) const;
  std::optional<WallPicture> Find(std::uint64_t id) const;
  std::uint64_t LastId() const;

 private:
  const WallLimits limits_;
  mutable std::mutex mutex_;
  std::deque<WallPicture> pictures_;  // oldest first
  std::size_t bytes_ = 0;
  std::uint64_t lastId_ = 0;
};

}  // namespace vktconsole
