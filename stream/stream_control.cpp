// Starting and stopping a camera's stream: a receiver from the pool, the
// stream target (command 1081) and, by model, the stream mode (command 501).
#include <arpa/inet.h>

#include <cstring>
#include <mutex>

#include "api/last_error.h"
#include "api/library.h"
#include "camera/camera_context.h"
#include "stream/recv_stream_thread.h"
#include "stream/stream_pool.h"

namespace vkt {
namespace {

constexpr int32_t kStreamMode = 501;
constexpr int32_t kModeStart = 5;
constexpr int32_t kModeStop = 1;

// How each model's stream is switched on and off.
enum class StreamKind {
  kNone,           // no stream at all
  kTargetOnly,     // sends as soon as it knows the target
  kModeCommand,    // needs the mode command; its failure fails the start
  kModeBestEffort  // gets the mode command; its failure does not matter
};

StreamKind KindOf(const CameraContext& camera) {
  for (const char* m : {"VKT-N2F0Kq", "VKT-N9G6Kq"}) {
    if (camera.ModelIs(m)) return StreamKind::kModeCommand;
  }
  for (const char* m : {"VKT-N2F0Kp", "VKT-N2F0Kw", "VKT-N9G6Kp"}) {
    if (camera.ModelIs(m)) return StreamKind::kTargetOnly;
  }
  for (const char* m : {"VKT-R6E0Kq", "VKT-R6E0Kp", "VKT-R8E0Kq"}) {
    if (camera.ModelIs(m)) return StreamKind::kModeBestEffort;
  }
  return StreamKind::kNone;
}

}  // namespace

int CameraContext::RegisterStreamTarget(uint16_t portNetworkOrder, uint32_t ms) {
  std::lock_guard<std::recursive_mutex> lock(commandLock_);
  streamAddress_ = hostAddress_;
  streamPort_ = portNetworkOrder;
  uint8_t payload[8];
  std::memcpy(payload, &streamAddress_, 4);
  std::memcpy(payload + 4, &streamPort_, 2);
  std::memcpy(payload + 6, &streamFlag_, 2);
  Request request{command::kStreamTarget};
  request.payload = payload;
  request.length = sizeof payload;
  return Exchange(request, ms);
}

int CameraContext::SetStreamMode(int32_t mode, uint32_t ms) {
  std::lock_guard<std::recursive_mutex> lock(commandLock_);
  Request request{kStreamMode};
  request.value = mode;
  // The camera may take its time to switch: a second more than the budget.
  return Exchange(request, ms + 1000);
}

int CameraContext::StartSending(uint32_t ms) {
  switch (KindOf(*this)) {
    case StreamKind::kModeCommand:
      return SetStreamMode(kModeStart, ms);
    case StreamKind::kModeBestEffort:
      (void)SetStreamMode(kModeStart, ms);
      return 0;
    default:
      return 0;
  }
}

void CameraContext::StopSending(uint32_t ms) {
  const StreamKind kind = KindOf(*this);
  if (kind == StreamKind::kModeCommand || kind == StreamKind::kModeBestEffort) (void)SetStreamMode(kModeStop, ms);
}

int CameraContext::SetStreamCallback(StreamCallback callback, int32_t user, uint32_t ms) {
  std::lock_guard<std::recursive_mutex> lock(commandLock_);
  StreamPool& pool = Library::Instance().Streams();
  // A camera that holds a receiver gives it back first, also before a new
  // start, so receivers never leak out of the pool.
  if (streamWorker_) {
    streamWorker_->Detach(ms);
    pool.Give(std::move(streamWorker_));
    streamWorker_.reset();
  }
  if (callback == nullptr) {
    streamCallback_.store(nullptr, std::memory_order_release);
    streamUser_.store(0, std::memory_order_relaxed);
    return 0;
  }
  if (KindOf(*this) == StreamKind::kNone) {
    SetLastError(err::kNoVideoStream);
    return 1;
  }
  std::shared_ptr<CRecvStreamThread> worker = pool.Take();
  if (!worker) {
    SetLastError(err::kNoFreeStream);
    return 1;
  }
  streamCallback_.store(callback, std::memory_order_release);
  streamUser_.store(user, std::memory_order_relaxed);
  streamWorker_ = worker;
  return worker->Attach(shared_from_this(), ms);
}

}  // namespace vkt
