// The request/reply exchange on a camera's command connection.
#include <arpa/inet.h>

#include <algorithm>

#include "api/last_error.h"
#include "api/library.h"
#include "camera/camera_context.h"

namespace vkt {

bool CameraContext::EnsureLinked(Link& link, uint32_t ms) {
  if (link.Connected()) return true;
  IoResult result = link.Connect(connection_.camera, MsToTimeValue(ms));
  if (result == IoResult::kOk) {
    if (&link == &connection_.command) {
      if (commandConnectedBefore_) Count(counters_->reconnects);
      commandConnectedBefore_ = true;
    }
    return true;
  }
  // Under the command lock; a failed snapshot connect reports a code of its own.
  if (&link == &connection_.command) lastConnectResult_ = result;
  return false;
}

bool CameraContext::EnsureConnected(uint32_t ms) { return EnsureLinked(connection_.command, ms); }

bool CameraContext::EnsureSnapConnected(uint32_t ms) { return EnsureLinked(connection_.snapshot, ms); }

void CameraContext::BuildRequest(int32_t command) {
  requestHeader_ = CommandHeader{};
  requestHeader_.version = Library::Instance().ProtocolVersion();
  requestHeader_.command = command;
  requestHeader_.sequence = sequence_;
  // The counter wraps like the camera's 32-bit word.
  sequence_ = static_cast<int32_t>(static_cast<uint32_t>(sequence_) + 1u);
}

ACE_Time_Value CameraContext::RemainingTime(uint32_t ms, const Stopwatch& start) {
  uint64_t elapsed = start.ElapsedMs();
  if (elapsed >= ms) return ACE_Time_Value(0, 100);
  return MsToTimeValue(ms - elapsed);
}

int CameraContext::SetSocketError(IoResult result) {
  const bool timeout = result == IoResult::kTimeout;
  Count(timeout ? counters_->commandTimeouts : counters_->commandNetworkErrors);
  SetLastError(timeout ? err::kTimeout : err::kNetwork);
  return 1;
}

int CameraContext::SetMismatch() {
  Count(counters_->commandMismatches);
  SetLastError(err::kReplyMismatch);
  return 1;
}

int CameraContext::SendAndReceive(uint32_t ms) {
  Stopwatch start;
  if (SendRequest(start, ms) != 0) return 1;
  return ReceiveReplyFrom(start, ms);
}

int CameraContext::SendRequest(const Stopwatch& start, uint32_t ms) {
  Count(counters_->commandsSent);
  if (!EnsureConnected(ms)) return SetSocketError(lastConnectResult_);
  const uint32_t length = std::min<uint32_t>(requestHeader_.length, kMaxPayload);
  requestHeader_.length = length;
  EncodeHeader(requestHeader_, requestBuffer_.data());
  // The send gets what the connect left (at least 100 microseconds), so no
  // step can stretch the call past its time-out.
  IoResult sent = connection_.command.SendAll(requestBuffer_.data(), kHeaderSize + length, RemainingTime(ms, start));
  if (sent != IoResult::kOk) return SetSocketError(sent);
  return 0;
}

int CameraContext::ReceiveReply(uint32_t ms) {
  Stopwatch start;
  return ReceiveReplyFrom(start, ms);
}

int CameraContext::ReceiveReplyHeader(const Stopwatch& start, uint32_t ms) {
  IoResult got = connection_.command.ReceiveAll(replyBuffer_.data(), kHeaderSize, RemainingTime(ms, start));
  if (got != IoResult::kOk) return SetSocketError(got);
  replyHeader_ = DecodeHeader(replyBuffer_.data());
  if (replyHeader_.status < 0) {
    Count(counters_->commandRefusals);
    // The payload of a refusal is not read.
    switch (replyHeader_.status) {
      case -1: SetLastError(err::kCameraRefused); break;
      case -2: SetLastError(err::kCameraBusy); break;
      case -3: SetLastError(err::kInvalidParam); break;
      default: break;  // no code for other refusals
    }
    return 1;
  }
  if (replyHeader_.command != requestHeader_.command || replyHeader_.sequence != requestHeader_.sequence) {
    return SetMismatch();
  }
  return 0;
}

int CameraContext::ReceivePayload(void* into, size_t length, const Stopwatch& start, uint32_t ms) {
  if (length == 0) return 0;
  IoResult got = connection_.command.ReceiveAll(into, length, RemainingTime(ms, start));
  if (got != IoResult::kOk) return SetSocketError(got);
  return 0;
}

int CameraContext::ReceiveReplyFrom(const Stopwatch& start, uint32_t ms) {
  if (ReceiveReplyHeader(start, ms) != 0) return 1;
  // A reply longer than the buffer is not a reply to any request of ours.
  if (replyHeader_.length > kMaxPayload) return SetMismatch();
  return ReceivePayload(replyBuffer_.data() + kHeaderSize, replyHeader_.length, start, ms);
}

int CameraContext::ExchangeOrDisconnect(uint32_t ms) {
  SetLastError(err::kOk);
  if (SendAndReceive(ms) == 0) return 0;
  Disconnect();
  return 1;
}

void CameraContext::Disconnect() {
  std::lock_guard<std::recursive_mutex> lock(commandLock_);
  connection_.command.Close();
  {
    // Waits for a snapshot exchange in progress (bounded by its time-out):
    // its handle must not be closed, and perhaps reused, under it.
    std::lock_guard<std::mutex> link(snapshotLock_);
    connection_.snapshot.Close();
  }
  cache_.Invalidate();
  pushRegistered_ = 0;
  pendingSave_ = false;
}

int CameraContext::CheckPendingSave(uint32_t& ms) {
  if (!pendingSave_) return 0;
  Stopwatch start;
  CommandHeader completion;
  uint8_t bytes[kHeaderSize];
  IoResult got = connection_.command.ReceiveAll(bytes, kHeaderSize, MsToTimeValue(ms));
  uint64_t spent = start.ElapsedMs();
  ms = spent < ms ? static_cast<uint32_t>(ms - spent) : 0;
  if (got == IoResult::kTimeout) {
    // Still saving: the completion may come with the next command.
    SetLastError(err::kSavePending);
    return 1;
  }
  if (got != IoResult::kOk) {
    // The connection broke (or left half a header behind): nothing good
    // can come on it any more, and keeping the pending state would refuse
    // every later command.
    SetLastError(err::kSaveFailed);
    Disconnect();
    return 1;
  }
  completion = DecodeHeader(bytes);
  if (completion.command == command::kSaveConfig && completion.length == 0) {
    pendingSave_ = false;
    if (completion.status == kStatusSaveCompleted) return 0;
    SetLastError(err::kSaveFailed);
    return 1;
  }
  // Another message, or a completion with payload we would have to skip.
  SetLastError(err::kSaveFailed);
  Disconnect();
  return 1;
}

int CameraContext::Exchange(const Request& request, uint32_t ms) {
  std::lock_guard<std::recursive_mutex> lock(commandLock_);
  if (CheckPendingSave(ms) != 0) return 1;
  BuildRequest(request.command);
  requestHeader_.value = request.value;
  requestHeader_.length = std::min<uint32_t>(request.length, kMaxPayload);
  if (request.payload != nullptr && requestHeader_.length > 0) {
    std::copy_n(static_cast<const uint8_t*>(request.payload), requestHeader_.length, RequestPayload());
  }
  return ExchangeOrDisconnect(ms);
}

TwoPhaseResult CameraContext::ExchangeTwoPhase(int32_t command, uint32_t ms) {
  std::lock_guard<std::recursive_mutex> lock(commandLock_);
  Stopwatch start;
  if (CheckPendingSave(ms) != 0) return TwoPhaseResult::kNotSent;
  BuildRequest(command);
  if (ExchangeOrDisconnect(ms) != 0) return TwoPhaseResult::kRequestFailed;
  uint64_t spent = start.ElapsedMs();
  uint32_t left = spent < ms ? static_cast<uint32_t>(ms - spent) : 0;
  SetLastError(err::kOk);
  if (ReceiveReply(left) != 0) return TwoPhaseResult::kCompletionFailed;
  return TwoPhaseResult::kCompleted;
}

}  // namespace vkt
