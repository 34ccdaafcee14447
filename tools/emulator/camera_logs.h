// What the cameras received and sent, for tests to inspect and wait on, and
// the pictures a camera was asked for and has not pushed yet. Each locks
// itself, so the cameras' threads add to it while tests read it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <stop_token>
#include <vector>

#include "emulator.h"
#include "worker.h"

namespace vktemu {

// The requests that reached one camera's command channel.
class CommandLog {
 public:
  // A flood must not eat the host's memory: past either limit, requests are
  // only counted.
  static constexpr size_t kMaxKept = 100000;
  static constexpr size_t kMaxKeptBytes = size_t{256} << 20;

  void record(CommandRecord record);
  std::vector<CommandRecord> records() const { return state_.field(&State::kept); }
  void clear() { state_.set({}); }
  size_t count() const { return state_.field(&State::count); }  // since the last clear()
  bool waitFor(size_t n, std::chrono::milliseconds timeout) const {
    return state_.waitAtLeast(&State::count, n, timeout);
  }

 private:
  struct State {
    std::vector<CommandRecord> kept;
    size_t keptBytes = 0;
    size_t count = 0;
  };
  Shared<State> state_;
};

// What arrived on the discovery port.
class TrafficLog {
 public:
  // A flood must not eat the host's memory: past this many, datagrams are
  // only counted.
  static constexpr size_t kMaxKept = 100000;

  void record(ReceivedDatagram datagram, bool isProbe);
  std::vector<ReceivedDatagram> datagrams() const { return state_.field(&State::kept); }
  void clear() { state_.set({}); }
  size_t probeCount() const { return state_.field(&State::probes); }
  size_t datagramCount() const { return state_.field(&State::datagrams); }
  bool waitForProbes(size_t n, std::chrono::milliseconds timeout) const {
    return state_.waitAtLeast(&State::probes, n, timeout);
  }
  bool waitForDatagrams(size_t n, std::chrono::milliseconds timeout) const {
    return state_.waitAtLeast(&State::datagrams, n, timeout);
  }

 private:
  struct State {
    std::vector<ReceivedDatagram> kept;
    size_t probes = 0;
    size_t datagrams = 0;
  };
  Shared<State> state_;
};

// The pictures one camera pushed, and the snapshot requests it answered.
class PictureLog {
 public:
  static constexpr size_t kMaxKept = 64;
  // Large pictures must not eat the host's memory: past this, the oldest
  // kept pictures lose their bytes (the rest of the entry stays).
  static constexpr size_t kMaxKeptBytes = size_t{256} << 20;

  void record(PushedPicture picture);
  std::vector<PushedPicture> pictures() const { return state_.field(&State::kept); }
  size_t completed() const { return state_.field(&State::completed); }
  bool waitForCompleted(size_t n, std::chrono::milliseconds timeout) const {
    return state_.waitAtLeast(&State::completed, n, timeout);
  }

  // Connections the pusher holds open now (set by the pusher).
  void setHeld(size_t n) {
    state_.change([n](State& s) { s.held = n; });
  }
  size_t held() const { return state_.field(&State::held); }
  bool waitForHeld(size_t n, std::chrono::milliseconds timeout) const {
    return state_.waitAtLeast(&State::held, n, timeout);
  }

  void countSnapshot() {
    state_.change([](State& s) { ++s.snapshots; });
  }
  size_t snapshots() const { return state_.field(&State::snapshots); }

 private:
  struct State {
    std::vector<PushedPicture> kept;  // oldest first
    size_t keptBytes = 0;
    size_t completed = 0;
    size_t snapshots = 0;
    size_t held = 0;
  };
  Shared<State> state_;
};

// The frames one camera streamed.
class StreamLog {
 public:
  static constexpr size_t kMaxKept = 16;
  // Padded frames must not eat the host's memory: past this, the oldest
  // kept frames are forgotten early.
  static constexpr size_t kMaxKeptBytes = size_t{256} << 20;

  // A frame about to go out. Kept before its first datagram, so a receiver
  // never holds a frame the log does not know yet.
  void keepFrame(std::shared_ptr<const std::vector<uint8_t>> frame);
  // Once every datagram of a frame went out.
  void countFrame() {
    state_.change([](State& s) { ++s.frames; });
  }
  void countDatagrams(size_t n) {
    state_.change([n](State& s) { s.datagrams += n; });
  }

  size_t frames() const { return state_.field(&State::frames); }
  size_t datagrams() const { return state_.field(&State::datagrams); }
  std::vector<std::vector<uint8_t>> recentFrames() const;  // oldest first
  bool waitForFrames(size_t n, std::chrono::milliseconds timeout) const {
    return state_.waitAtLeast(&State::frames, n, timeout);
  }

 private:
  struct State {
    std::deque<std::shared_ptr<const std::vector<uint8_t>>> kept;
    size_t keptBytes = 0;
    size_t frames = 0;
    size_t datagrams = 0;
  };
  Shared<State> state_;
};

// What made the camera take a picture; it goes out as the record's word 0.
enum class PictureSource : uint32_t { kSnapshot = 1, kTrigger = 2 };

struct PictureRequest {
  PictureSource source = PictureSource::kSnapshot;
  int32_t value = 0;  // the record's word 12
};

// The pictures asked for, in order: the command channel and the trigger
// timer post, the camera's pusher takes them one at a time.
class PictureQueue {
 public:
  // A camera falling behind loses new requests past this many, as a real
  // one's buffer overflows.
  static constexpr size_t kMaxWaiting = 256;

  // False when dropped: the queue is closed (the emulator is stopped) or full.
  bool post(const PictureRequest& request);
  // The oldest request once there is one; nothing once a stop is requested
  // or the queue is closed.
  std::optional<PictureRequest> next(std::stop_token stop);
  void open() {
    state_.change([](State& s) { s.open = true; });
  }
  void close() { state_.set({}); }  // drops what waits

 private:
  struct State {
    std::deque<PictureRequest> waiting;
    bool open = false;
  };
  Shared<State> state_;
};

}  // namespace vktemu
