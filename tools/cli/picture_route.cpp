#include "picture_route.h"

#include <mutex>
#include <shared_mutex>

namespace vktcli {

namespace {

// Callbacks share the lock; only installing or removing the sink takes it
// alone, so pictures never wait for each other here.
std::shared_mutex routeMutex;
PictureSink* routeSink = nullptr;

}  // namespace

ReceivedPicture CopyPicture(std::span<const char> jpeg, const PictureInfo& info, int value) {
  ReceivedPicture copy;
  copy.jpeg.assign(jpeg.begin(), jpeg.end());
  copy.info = info;
  copy.value = value;
  copy.arrival = std::chrono::system_clock::now();
  return copy;
}

void RoutePicture(char* picture, int length, PictureInfo* info, int value) {
  if (picture == nullptr || info == nullptr || length < 0) return;
  std::shared_lock lock(routeMutex);
  if (routeSink == nullptr) return;
  routeSink->OnPicture(std::span<const char>(picture, static_cast<std::size_t>(length)), *info, value);
}

PictureRoute::PictureRoute(PictureSink& sink) : sink_(sink) {
  std::unique_lock lock(routeMutex);
  routeSink = &sink_;
}

PictureRoute::~PictureRoute() {
  std::unique_lock lock(routeMutex);
  if (routeSink == &sink_) routeSink = nullptr;
}

}  // namespace vktcli
