// Delivers the library's stream callbacks to whatever in vktcli wants the
// frames. The callback is a plain function; the int the stream is started
// with names the sink, so a late frame of one stream never reaches another
// stream's sink.
#pragma once

#include <span>

#include "VKTNetSDK11.h"

namespace vktcli {

class StreamSink {
 public:
  virtual ~StreamSink() = default;
  // Runs on the stream's library thread with the stream's lock held: must
  // return quickly and must not start or stop a stream. `frame` and `info`
  // are valid only during the call.
  virtual void OnFrame(std::span<const char> frame, const StreamInfo& info) = 0;
};

// The StreamCallback to give the library, with StreamRoute::user().
void RouteStreamFrame(char* frame, int length, StreamInfo* info, int user);

// Sends the frames of streams started with user() to `sink` until destroyed.
// The destructor waits for callbacks still inside the sink, so the sink may
// go right after.
class StreamRoute {
 public:
  explicit StreamRoute(StreamSink& sink);
  ~StreamRoute();

  StreamRoute(const StreamRoute&) = delete;
  StreamRoute& operator=(const StreamRoute&) = delete;

  int user() const { return user_; }

 private:
  int user_;
};

}  // namespace vktcli
