#include "picture_listener.h"

#include "picture_file.h"
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
  while (std::optional<ReceivedPicture> picture = queue_.Pop()) {
    const std::string name =
        ListenFileName(IpOf(picture->info.camera), PictureNameTime(picture->info.time, picture->arrival), ++counter);
    std::string error;
    if (WritePictureFile((directory_ / name).string(), picture->jpeg, error)) {
      counters_.Written();
    } else {
      counters_.WriteFailed(error);
    }
  }
}

}  // namespace vktcli
