#include "picture_listener.h"

#include "picture_text.h"

namespace vktcli {

PictureListener::PictureListener(std::filesystem::path directory, PictureQueueLimits limits)
    : directory_(std::move(directory)), queue_(limits) {}

PictureListener::~PictureListener() { Finish(); }

void PictureListener::OnPicture(std::span<const char> jpeg, const PictureInfo& info, int value) {
  if (!accepting_.load()) return;
  const PictureQueue::PushResult result = queue_.TryPush(CopyPicture(jpeg, info, value));
  // A picture racing Finish is neither received nor dropped: listening is over.
  if (result == PictureQueue::PushResult::Closed) return;
  counters_.Received(info.camera, jpeg.size());
  if (result == PictureQueue::PushResult::Full) counters_.Dropped();
}

void PictureListener::StartWriting(std::vector<ListenCamera> cameras) {
  if (writer_.joinable()) return;
  cameras_ = std::move(cameras);
  writer_ = std::thread([this] { WriteAll(); });
}

void PictureListener::Finish() {
  accepting_.store(false);
  queue_.Close();
  if (writer_.joinable()) writer_.join();
}

std::string PictureListener::IpOf(int handle) const {
  for (const ListenCamera& camera : cameras_) {
    if (camera.handle == handle) return camera.ip;
  }
  return "camera" + std::to_string(handle);
}

void PictureListener::WriteAll() {
  std::uint64_t counter = 0;
  WriteQueued(queue_, counters_, [&](const ReceivedPicture& picture) {
    const CameraTime time = PictureNameTime(picture.info.time, picture.arrival);
    return (directory_ / ListenFileName(IpOf(picture.info.camera), time, ++counter)).string();
  });
}

}  // namespace vktcli
