// The live view: one stream receiver of the library per watched camera,
// shared by every page that watches it and stopped when the last viewer
// leaves (a closed tab, a lost connection, the stop button). Each stream
// keeps only its newest frame; viewers wait for the next one.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "callback_routes.h"
#include "stream_stats.h"

namespace vktconsole {

struct LiveFrame {
  std::uint64_t number = 0;  // from 1 in this stream
  std::shared_ptr<const std::vector<char>> jpeg;
};

struct LiveStats {
  bool watching = false;
  int viewers = 0;
  double framesPerSecond = 0;   // over the last two seconds
  std::uint64_t frames = 0;
  std::uint64_t missed = 0;     // frames the camera's counter skipped
  std::uint64_t lastBytes = 0;
  std::uint64_t averageBytes = 0;
};

class LiveStream : public vktcli::StreamSink {
 public:
  void OnFrame(std::span<const char> frame, const StreamInfo& info) override;

  // The newest frame once it is newer than `after`; nullopt when `wait`
  // passed first or the console is stopping.
  std::optional<LiveFrame> WaitNewer(std::uint64_t after, std::chrono::milliseconds wait);
  std::optional<LiveFrame> Latest() const;
  void Wake();
  LiveStats Stats() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  LiveFrame latest_;
  bool woken_ = false;
  vktcli::StreamCounters counters_;
  std::deque<std::chrono::steady_clock::time_point> recent_;
};

class LiveStreams {
  struct Entry;

 public:
  // At most `maxViewers` live views at once over all cameras: each holds
  // one of the HTTP server's threads.
  LiveStreams(std::size_t maxViewers, unsigned callTimeoutMs);
  ~LiveStreams();  // Shutdown()

  LiveStreams(const LiveStreams&) = delete;
  LiveStreams& operator=(const LiveStreams&) = delete;

  // One page watching one camera; leaving is destroying it.
  class Viewer {
   public:
    Viewer(LiveStreams& owner, int handle, std::shared_ptr<Entry> entry);
    ~Viewer();
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;
    LiveStream& stream();

   private:
    LiveStreams& owner_;
    const int handle_;
    std::shared_ptr<Entry> entry_;
  };

  struct Join {
    std::unique_ptr<Viewer> viewer;
    int error = 0;        // the library's, when the stream did not start
    bool full = false;    // too many viewers
  };

  // Starts the camera's stream for its first viewer.
  Join Watch(int handle);

  LiveStats Stats(int handle) const;
  bool Stopping() const;
  // Wakes every viewer so that it leaves; new viewers are refused.
  void Shutdown();

 private:
  void Leave(int handle, Entry& entry);

  const std::size_t maxViewers_;
  const unsigned callTimeoutMs_;
  mutable std::mutex mutex_;
  std::map<int, std::shared_ptr<Entry>> entries_;
  std::size_t viewers_ = 0;
  bool stopping_ = false;
};

}  // namespace vktconsole
