// One camera's picture connection while its picture arrives: the framing
// state, the bytes so far and the one-second window counted from its accept.
// Reads never block: each Read takes what the socket holds now, so one
// receiver thread serves many connections side by side.
#pragma once

#include <ace/OS_NS_sys_socket.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "api/statistics.h"
#include "picture/picture_buffers.h"
#include "picture/picture_framing.h"

namespace vkt {

class CameraContext;

class PictureConnection {
 public:
  using Clock = std::chrono::steady_clock;

  enum class Step { kNeedMore, kComplete, kNoRoom, kDrop };

  PictureConnection(ACE_HANDLE handle, std::shared_ptr<CameraContext> camera, Clock::time_point deadline,
                    PictureBuffers& buffers);
  ~PictureConnection();  // closes the socket, gives back its bytes
  PictureConnection(const PictureConnection&) = delete;
  PictureConnection& operator=(const PictureConnection&) = delete;

  // Reads what has arrived, using `scratch` (the calling thread's) for the
  // bytes of a read whose home is not known yet. kDrop: DropReason() says
  // why; kNoRoom: the buffer cap left no room for the next bytes (call again
  // once room frees); kComplete: Picture() holds the whole picture.
  Step Read(uint8_t* scratch, size_t scratchSize);

  PictureDrop DropReason() const { return dropReason_; }
  // The whole picture, valid until the connection is destroyed or the
  // scratch is reused.
  const uint8_t* Picture() const { return picture_; }
  uint32_t Length() const { return framing_.TotalLength(); }
  uint16_t App1Length() const { return framing_.App1Length(); }

  ACE_HANDLE Handle() const { return handle_; }
  CameraContext& Camera() const { return *camera_; }
  const std::shared_ptr<CameraContext>& SharedCamera() const { return camera_; }
  Clock::time_point Deadline() const { return deadline_; }
  size_t Held() const { return held_; }

 private:
  Step Drop(PictureDrop reason);
  // Keeps `n` bytes read into `from` at offset `at` of the picture (the
  // body once its length is known, else the head), counted against the cap.
  void Keep(const uint8_t* from, size_t n, size_t at);
  // Judges what arrived; moves the bytes to a buffer of the announced size
  // once it is known.
  Step Judge(const uint8_t* bytes);
  // Reads and throws away what arrives after more than the announced length
  // came: such a picture never completes.
  Step Discard(uint8_t* scratch, size_t scratchSize);
  // A read that brought nothing: gives `room` back to the cap; nothing yet
  // (kNeedMore), or the connection ended early.
  Step NoData(bool wouldBlock, size_t room);
  // Takes up to `want` bytes of the buffer cap for the next read.
  size_t Room(size_t want);

  const ACE_HANDLE handle_;
  const std::shared_ptr<CameraContext> camera_;
  const Clock::time_point deadline_;
  PictureBuffers& buffers_;

  picture::PictureFraming framing_;
  size_t received_ = 0;
  bool overrun_ = false;
  // Until the announced length is known the bytes live in head_; then in
  // body_, sized to that length.
  std::vector<uint8_t> head_;
  PictureBuffers::Block body_;
  size_t held_ = 0;  // bytes counted against the buffer cap
  const uint8_t* picture_ = nullptr;
  PictureDrop dropReason_ = PictureDrop::kClosedEarly;
};

}  // namespace vkt
