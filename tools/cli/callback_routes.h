// Delivers the library's picture and stream callbacks to whatever in vktcli
// wants what they bring. The callbacks are plain functions: a picture, whose
// callback has no context pointer, reaches the sink of the latest
// PictureRoute; a frame reaches the sink of the StreamRoute whose user() its
// stream was started with, so a late frame of one stream never reaches
// another stream's sink.
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

class StreamSink {
 public:
  virtual ~StreamSink() = default;
  // Runs on the stream's library thread with the stream's lock held: must
  // return quickly and must not start or stop a stream. `frame` and `info`
  // are valid only during the call.
  virtual void OnFrame(std::span<const char> frame, const StreamInfo& info) = 0;
};

// The callbacks to give the library; a stream's with its route's user().
void RoutePicture(char* picture, int length, PictureInfo* info, int value);
void RouteStreamFrame(char* frame, int length, StreamInfo* info, int user);

// Sends what is routed to `sink` until destroyed. The destructor waits for
// callbacks still inside the sink, so the sink may go right after.
template <class Sink>
class Route {
 public:
  explicit Route(Sink& sink);
  ~Route();

  Route(const Route&) = delete;
  Route& operator=(const Route&) = delete;

  int user() const { return user_; }

 private:
  int user_;
};

using PictureRoute = Route<PictureSink>;
using StreamRoute = Route<StreamSink>;
extern template class Route<PictureSink>;
extern template class Route<StreamSink>;

}  // namespace vktcli
