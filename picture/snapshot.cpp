// Asking a camera for a picture now. The request goes on a connection of its
// own; the picture itself comes through the push receivers.
#include <cstring>
#include <mutex>

#include "api/last_error.h"
#include "api/library.h"
#include "camera/camera_context.h"

namespace vkt {

int CameraContext::Snap(int32_t value, uint32_t ms) {
  std::lock_guard<std::recursive_mutex> lock(callbackLock_);
  if (GetPictureCallback() == nullptr) return Fail(err::kNoPictureCallback);
  // The camera must know where to push before it is asked to.
  if (RegisterPushTarget(ms) != 0) return 1;

  Stopwatch start;
  CommandHeader request;
  request.version = Library::Instance().ProtocolVersion();
  request.command = command::kSnapshot;
  request.sequence = snapSequence_;
  snapSequence_ = static_cast<int32_t>(static_cast<uint32_t>(snapSequence_) + 1u);
  request.value = value;
  uint8_t bytes[kHeaderSize];
  EncodeHeader(request, bytes);

  // The exchange gets the whole budget again, measured from here.
  Count(counters_->commandsSent);
  uint32_t failure = err::kOk;
  {
    // The link is guarded by the snapshot lock, which Disconnect takes after
    // the command lock: it is let go before the Disconnect below.
    std::lock_guard<std::mutex> link(snapshotLock_);
    if (!EnsureSnapConnected(ms) ||
        connection_.snapshot.SendAll(bytes, kHeaderSize, RemainingTime(ms, start)) != IoResult::kOk) {
      Count(counters_->commandNetworkErrors);
      failure = err::kSnapNotSent;
    } else if (connection_.snapshot.ReceiveAll(bytes, kHeaderSize, RemainingTime(ms, start)) != IoResult::kOk) {
      Count(counters_->commandTimeouts);
      failure = err::kSnapNoReply;
    } else if (DecodeHeader(bytes).status < 0) {
      // Only the status counts; command and sequence are not compared.
      Count(counters_->commandRefusals);
      failure = err::kSnapRefused;
    } else if (DecodeHeader(bytes).length != 0) {
      // A reply with a payload would leave bytes that the next snapshot
      // takes for its reply header: that connection is not used again.
      connection_.snapshot.Close();
    }
  }
  if (failure != err::kOk) {
    SetLastError(failure);
    Disconnect();
    return 1;
  }
  return 0;
}

}  // namespace vkt
