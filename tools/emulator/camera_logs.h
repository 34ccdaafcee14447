// What the cameras received and sent, for tests to inspect and wait on, and
// the pictures a camera was asked for and has not pushed yet. Each log is a
// Shared value, so the cameras' threads add to it while tests read it and
// wait on its counts. A flood must not eat the host's memory: a log keeps a
// bounded number of entries and bytes (camera_logs.cpp), its counts go on.
#pragma once

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

// The requests that reached one camera's command channel: the first ones
// since the last clear, and how many there were.
struct CommandTraffic {
  std::vector<CommandRecord> kept;
  size_t keptBytes = 0;
  size_t count = 0;
};
void record(Shared<CommandTraffic>& log, CommandRecord request);

// The datagrams that arrived on the discovery port, likewise.
struct DiscoveryTraffic {
  std::vector<ReceivedDatagram> kept;
  size_t probes = 0;
  size_t datagrams = 0;
};
void record(Shared<DiscoveryTraffic>& log, ReceivedDatagram datagram, bool isProbe);

// What made the camera take a picture; it goes out as the record's word 0.
enum class PictureSource : uint32_t { kSnapshot = 1, kTrigger = 2 };

struct PictureRequest {
  PictureSource source = PictureSource::kSnapshot;
  int32_t value = 0;  // the record's word 12
};

// The pictures one camera pushed, the last ones oldest first (past the byte
// limit the oldest lose their bytes, the rest of the entry stays), the
// snapshot requests it answered and the connections its pusher holds open.
struct PushHistory {
  std::vector<PushedPicture> kept;
  size_t keptBytes = 0;
  size_t completed = 0;
  size_t snapshots = 0;
  size_t held = 0;
};
void record(Shared<PushHistory>& log, PushedPicture picture);

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

// The frames one camera streamed: the last ones, oldest first (past the
// byte limit the oldest are forgotten early), and the frames and datagrams
// that went out.
struct StreamHistory {
  std::deque<std::shared_ptr<const std::vector<uint8_t>>> kept;
  size_t keptBytes = 0;
  size_t frames = 0;  // every datagram went out
  size_t datagrams = 0;
};
// A frame about to go out. Kept before its first datagram, so a receiver
// never holds a frame the log does not know yet.
void keep(Shared<StreamHistory>& log, std::shared_ptr<const std::vector<uint8_t>> frame);

}  // namespace vktemu
