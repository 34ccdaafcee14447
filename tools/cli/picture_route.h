// Delivers the library's picture callbacks to whatever in vktcli wants the
// pictures. The callback is a plain function with no context pointer, so one
// sink per process receives every picture while a PictureRoute is alive.
#pragma once

#include <chrono>
#include <span>
#include <vector>

#include "VKTNetSDK11.h"

namespace vktcli {

// A picture copied out of the callback: the library's pointers die with it.
struct ReceivedPicture {
  std::vector<char> jpeg;
  PictureInfo info{};
  int value = 0;
  std::chrono::system_clock::time_point arrival{};
};

ReceivedPicture CopyPicture(std::span<const char> jpeg, const PictureInfo& info, int value);

class PictureSink {
 public:
  virtual ~PictureSink() = default;
  // Runs on the library's picture threads, several at once; must return
  // quickly. `jpeg` and `info` are valid only during the call.
  virtual void OnPicture(std::span<const char> jpeg, const PictureInfo& info, int value) = 0;
};

// The PictureCallback to give the library.
void RoutePicture(char* picture, int length, PictureInfo* info, int value);

// Sends every routed picture to `sink` until destroyed. The destructor waits
// for callbacks still inside the sink, so the sink may go right after.
class PictureRoute {
 public:
  explicit PictureRoute(PictureSink& sink);
  ~PictureRoute();

  PictureRoute(const PictureRoute&) = delete;
  PictureRoute& operator=(const PictureRoute&) = delete;

 private:
  PictureSink& sink_;
};

}  // namespace vktcli
