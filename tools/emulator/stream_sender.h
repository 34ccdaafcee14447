// One camera's video stream: a thread that, while the camera should send,
// takes a frame on schedule (test pattern, JPEG, record), cuts it into
// datagrams, applies the stream faults and sends them back to back to the
// registered stream target. It sleeps on the camera's stream state, so a
// 501, a new target or a new rate takes effect at once.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "camera.h"
#include "stream_plan.h"
#include "stream_sockets.h"
#include "worker.h"

namespace vktemu {

class StreamSender {
 public:
  explicit StreamSender(std::shared_ptr<Camera> camera);
  ~StreamSender() { stop(); }

  bool start(std::string* error);
  // Tells the thread to stop and returns at once: the frame under way is
  // abandoned. Streams of padded frames keep the processors busy, so the
  // emulator asks them all first and stops the rest meanwhile.
  void requestStop() { worker_.requestStop(); }
  // Waits for the thread and closes the sockets; returns within
  // milliseconds.
  void stop();

  // Running, and the camera should be sending now.
  bool sending() const;
  // These datagrams as they are, from the camera's stream socket, to the
  // registered target. False when not running, without a target or when a
  // send failed.
  bool sendRaw(const std::vector<std::vector<uint8_t>>& datagrams);

 private:
  void run(std::stop_token stop);
  std::optional<sockaddr_in> destination(const StreamSettings& settings) const;
  void sendFrame(const StreamSettings& settings, const sockaddr_in& to, std::stop_token stop);
  std::optional<std::vector<uint8_t>> takeFrame(const StreamSettings& settings, std::stop_token stop);

  const std::shared_ptr<Camera> camera_;
  const StreamStart start_;

  Worker worker_;

  // The thread and sendRaw() share the sockets.
  std::mutex socketMutex_;
  StreamSockets sockets_;

  // The thread's while it runs.
  uint32_t frameNumber_ = 0;
  StreamRandom random_;
  std::optional<uint64_t> faultsVersion_;  // of the faults the generator was seeded for
};

}  // namespace vktemu
