#include "picture_wall.h"

namespace vktconsole {

PictureWall::PictureWall(WallLimits limits) : limits_(limits) {}

void PictureWall::OnPicture(std::span<const char> jpeg, const PictureInfo& info, int value) {
  // A picture larger than the whole allowance would only push the rest out.
  if (jpeg.size() > limits_.bytes || limits_.pictures == 0) return;
  auto bytes = std::make_shared<const std::vector<char>>(jpeg.begin(), jpeg.end());
  std::lock_guard lock(mutex_);
  WallPicture picture{++lastId_, info, value, std::chrono::system_clock::now(), std::move(bytes)};
  bytes_ += picture.jpeg->size();
  pictures_.push_back(std::move(picture));
  while (pictures_.size() > limits_.pictures || bytes_ > limits_.bytes) {
    bytes_ -= pictures_.front().jpeg->size();
    pictures_.pop_front();
  }
}

std::vector<WallPicture> PictureWall::Newest(std::uint64_t after, std::size_t limit) const {
  std::lock_guard lock(mutex_);
  std::vector<WallPicture> out;
  for (auto it = pictures_.rbegin(); it != pictures_.rend() && out.size() < limit; ++it) {
    if (it->id <= after) break;
    out.push_back(*it);
  }
  return out;
}

std::optional<WallPicture> PictureWall::Find(std::uint64_t id) const {
  std::lock_guard lock(mutex_);
  for (const WallPicture& picture : pictures_) {
    if (picture.id == id) return picture;
  }
  return std::nullopt;
}

std::uint64_t PictureWall::LastId() const {
  std::lock_guard lock(mutex_);
  return lastId_;
}

}  // namespace vktconsole
