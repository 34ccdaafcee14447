// The receiving end of "vktcli stream": counts each frame, asks for the stop
// once the wanted number has come, and with a directory copies the frames
// into a bounded queue (or drops them when it is full) that a thread of its
// own writes to files, so the stream's thread never waits for the disk.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "callback_routes.h"
#include "picture_queue.h"
#include "stop_request.h"
#include "stream_stats.h"

namespace vktcli {

// "192.168.1.10-stream-7.jpg"
std::string StreamFrameFileName(std::string_view ip, std::uint64_t number);

struct StreamReceiverOptions {
  std::optional<std::uint64_t> frameLimit;      // none: every frame
  std::optional<std::filesystem::path> directory;  // none: frames are only counted
  std::string ip;                               // names the files
  PictureQueueLimits queueLimits;
};

class StreamReceiver : public StreamSink {
 public:
  // Starts the writer when there is a directory. `stop` is requested when
  // the frame limit is reached.
  StreamReceiver(StreamReceiverOptions options, StopRequest& stop);
  ~StreamReceiver() override;  // Finish()

  StreamReceiver(const StreamReceiver&) = delete;
  StreamReceiver& operator=(const StreamReceiver&) = delete;

  void OnFrame(std::span<const char> frame, const StreamInfo& info) override;

  // Takes no more frames: those of a stream still being stopped came after
  // the run's time and are not counted.
  void StopTaking();

  // StopTaking(), then writes the frames queued and stops the writer.
  void Finish();

  const StreamCounters& counters() const { return counters_; }

 private:
  // A frame copied out of the callback, with its number in this run.
  struct QueuedFrame {
    std::vector<char> jpeg;
    std::uint64_t number = 0;
  };

  void WriteAll();

  const StreamReceiverOptions options_;
  StopRequest& stop_;
  StreamCounters counters_;
  BoundedPictureQueue<QueuedFrame> queue_;
  std::atomic<bool> taking_{true};
  std::thread writer_;
};

}  // namespace vktcli
