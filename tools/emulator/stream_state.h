// One camera's stream: where it goes, its settings and switches, as tests,
// the control channel and commands 501 and 1081 set them, and which models
// stream on what. The camera's stream sender reads them and sleeps on them
// until something changes. Locks itself, so command handlers may use it
// while they hold the camera's lock.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string_view>

#include "emulator.h"
#include "test_pattern.h"
#include "worker.h"

namespace vktemu {

struct StreamSettings {
  PushTarget target;  // the last 1081
  double framesPerSecond = 10;
  JpegFormat format{320, 240, 85};
  size_t padTo = 0;  // frames have at least this many bytes
  StreamFaults faults;
  uint64_t faultsVersion = 0;  // changes each time faults are set (the generator starts again)
  bool modeStarted = false;    // the last 501 said start
  std::optional<bool> forced;
  uint64_t version = 0;  // changes with anything here
};

enum class StreamStart {
  kNever,      // no stream; command 501 is refused
  kOnTarget,   // sends as soon as a target is registered
  kOnCommand,  // waits for 501 start, stops on 501 stop
};

StreamStart streamStartOf(std::string_view model);

// Whether a camera that has a stream target sends, with these settings.
bool streamGoesOut(StreamStart start, const StreamSettings& settings);

class StreamState {
 public:
  StreamSettings settings() const { return settings_.get(); }

  void setTarget(const PushTarget& target);
  void setRate(double framesPerSecond);  // clamped; 0 or less (or not a number) pauses
  void setFrameSize(int width, int height, int quality);  // clamped
  void setPad(size_t bytes);                              // clamped
  void setFaults(const StreamFaults& faults);             // rates clamped to 0..1
  void setModeStarted(bool started);
  void setForced(std::optional<bool> forced);

  // Until the settings move past `seen`, a stop is requested or `until`
  // passes. True on a change.
  bool waitForChange(uint64_t seen, Clock::time_point until, std::stop_token stop) const {
    return settings_.waitUntil(stop, until, [&](const StreamSettings& s) { return s.version != seen; });
  }

 private:
  template <typename F>
  void change(F&& f) {
    settings_.change([&](StreamSettings& s) {
      f(s);
      ++s.version;
    });
  }

  Shared<StreamSettings> settings_;
};

}  // namespace vktemu
