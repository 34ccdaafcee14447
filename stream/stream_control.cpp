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

// How the camera's model wants its stream switched.
StreamStart KindOf(const CameraContext& camera) { return camera.Model().stream; }

}  // namespace

int CameraContext::RegisterStreamTarget(uint16_t portNetworkOrder, uint32_t ms) {
  std::lock_guard<std::recursive_mutex> lock(commandLock_);
  streamAddress_ = hostAddress_;
  streamPort_ = portNetworkOrder;
  return SendTarget(command::kStreamTarget, streamAddress_, streamPort_, streamFlag_, ms);
}

int CameraContext::SetStreamMode(int32_t mode, uint32_t ms) {
  std::lock_guard<std::recursive_mutex> lock(commandLock_);
  Request request{command::kStreamMode};
  request.value = mode;
  // The camera may take its time to switch: a second more than the budget.
  return Exchange(request, ms + 1000);
}

int CameraContext::StartSending(uint32_t ms) {
  switch (KindOf(*this)) {
    case StreamStart::kModeCommand:
      return SetStreamMode(kStreamModeStart, ms);
    case StreamStart::kModeBestEffort:
      (void)SetStreamMode(kStreamModeStart, ms);
      return 0;
    default:
      return 0;
  }
}

void CameraContext::StopSending(uint32_t ms) {
  const StreamStart kind = KindOf(*this);
  if (kind == StreamStart::kModeCommand || kind == StreamStart::kModeBestEffort) (void)SetStreamMode(kStreamModeStop, ms);
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
  if (KindOf(*this) == StreamStart::kNone) return Fail(err::kNoVideoStream);
  std::shared_ptr<CRecvStreamThread> worker = pool.Take();
  if (!worker) return Fail(err::kNoFreeStream);
  streamCallback_.store(callback, std::memory_order_release);
  streamUser_.store(user, std::memory_order_relaxed);
  streamWorker_ = worker;
  return worker->Attach(shared_from_this(), ms);
}

}  // namespace vkt
