// Everything the library keeps for one camera: its identity, its
// connections and buffers, its locks, its picture callback, the push target
// it announced and the cached copies of its settings.
//
// Lock order: the registry lock, then the callback lock, then the command
// lock, then the snapshot lock. Both camera locks are recursive: a command
// may run another command of the same camera, and a failed command
// disconnects under its own lock. The snapshot lock (not recursive) guards
// the snapshot connection and is never held while another lock is taken: a
// snapshot lets it go before it disconnects.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "VKTNetSDK11.h"
#include "api/clock.h"
#include "api/statistics.h"
#include "camera/camera_connection.h"
#include "camera/command_header.h"
#include "camera/settings_cache.h"
#include "storage/large_reply_buffer.h"

namespace vkt {

// One request: the command code, its scalar and its payload.
struct Request {
  int32_t command = 0;
  int32_t value = 0;
  const void* payload = nullptr;
  uint32_t length = 0;  // at most kMaxPayload
};

// How a two-phase command (save configuration, NTP synchronisation) ended.
enum class TwoPhaseResult {
  kCompleted,        // both replies arrived, the completion with status >= 0
  kNotSent,          // a pending save completion stood in the way; last error set
  kRequestFailed,    // the first exchange failed; the connection is closed
  kCompletionFailed  // the completion did not come as it should; the last
                     // error says why (time-out or other); the connection stays
};

class CRecvStreamThread;

class CameraContext : public std::enable_shared_from_this<CameraContext> {
 public:
  // Connection attempt at creation: 20 microseconds, outcome not reported.
  static constexpr uint32_t kCreationConnectMicros = 20;

  CameraContext(const DeviceRecord& record, int handle);
  ~CameraContext();  // closes the connections; tells the camera nothing
  CameraContext(const CameraContext&) = delete;
  CameraContext& operator=(const CameraContext&) = delete;

  int Handle() const { return handle_; }
  const DeviceRecord& Record() const { return record_; }
  // The camera's IPv4 address, network order (read by the picture receivers).
  uint32_t CameraAddress() const { return cameraAddress_.load(std::memory_order_acquire); }
  // What the camera's model does differently.
  const ModelTraits& Model() const;

  std::recursive_mutex& CommandLock() { return commandLock_; }
  std::recursive_mutex& CallbackLock() { return callbackLock_; }

  // ---- pictures handed to the callback. Callbacks of one camera may run
  // side by side; a deletion waits until none is running and none starts
  // after it. No lock is held while a callback runs.
  // False once deliveries are stopped: no callback may start.
  bool BeginDelivery();
  void EndDelivery();
  // No callback starts from now on (a deletion, before the camera leaves
  // the registry).
  void StopDeliveries();
  // Returns once the callbacks running now have returned.
  void WaitForDeliveries();

  // ---- command channel; all but Disconnect expect the command lock held
  // (EnsureSnapConnected the snapshot lock instead).
  bool EnsureConnected(uint32_t ms);
  bool EnsureSnapConnected(uint32_t ms);
  // Starts a request: version, reserved 0, command and the next sequence
  // number; status, length and value 0.
  void BuildRequest(int32_t command);
  CommandHeader& RequestHeader() { return requestHeader_; }
  uint8_t* RequestPayload() { return requestBuffer_.data() + kHeaderSize; }
  // Sends the request and receives its reply within `ms`; 1 with the last
  // error set on failure (the caller disconnects).
  int SendAndReceive(uint32_t ms);
  // Receives one more reply for the request just sent, without sending.
  int ReceiveReply(uint32_t ms);
  // The steps of SendAndReceive, for exchanges whose reply payload goes
  // elsewhere; `start` is when the exchange began. Each returns 1 with the
  // last error set on failure.
  int SendRequest(const Stopwatch& start, uint32_t ms);
  // Receives the reply header and checks its status, command and sequence;
  // the payload (ReplyHeader().length bytes) is left unread.
  int ReceiveReplyHeader(const Stopwatch& start, uint32_t ms);
  int ReceivePayload(void* into, size_t length, const Stopwatch& start, uint32_t ms);
  // Last error 0, SendAndReceive, Disconnect on failure.
  int ExchangeOrDisconnect(uint32_t ms);
  // Closes both connections and empties the caches; takes the command lock.
  void Disconnect();
  // Consumes a pending save completion before a new request; `ms` shrinks
  // by what it spent. 0: go on; 1: failed, last error set.
  int CheckPendingSave(uint32_t& ms);
  // Stores the error code of a failed socket operation, and counts it;
  // always 1.
  int SetSocketError(IoResult result);
  // A reply that answers another request or cannot be taken: counted,
  // VKT_ERR_REPLY_MISMATCH; always 1.
  int SetMismatch();
  // What is left of `ms` since `start`; at least 100 microseconds.
  static ACE_Time_Value RemainingTime(uint32_t ms, const Stopwatch& start);

  // The usual command: pending-save check, request, exchange, disconnect on
  // failure. Takes the command lock. The reply is then in ReplyHeader() and
  // ReplyPayload().
  int Exchange(const Request& request, uint32_t ms);
  // Save configuration and NTP synchronisation: a request, its reply and a
  // completion reply. Takes the command lock.
  TwoPhaseResult ExchangeTwoPhase(int32_t command, uint32_t ms);

  const CommandHeader& ReplyHeader() const { return replyHeader_; }
  const uint8_t* ReplyPayload() const { return replyBuffer_.data() + kHeaderSize; }

  // Guarded by the command lock.
  SettingsCache& Cache() { return cache_; }
  bool PendingSave() const { return pendingSave_; }
  void SetPendingSave() { pendingSave_ = true; }
  // Whether the camera sends the short forms of the ITS and night-control
  // records; learnt from replies, kept across reconnections.
  bool ShortRecords() const { return shortRecords_; }
  void SetShortRecords(bool shortForms) { shortRecords_ = shortForms; }
  // The camera took a new address: remember it, drop the connection and
  // connect there next time. Takes the command lock. Called through
  // CameraRegistry::Readdress, which moves the registry's entry with it.
  void Readdress(uint32_t ipAddress, uint32_t addressWord1);

  // ---- picture push target; see push_target.cpp.
  int SetPictureCallback(PictureCallback callback, uint32_t ms);
  int RegisterPushTarget(uint32_t ms);
  // The push and the stream registrations carry the same 8 bytes: address,
  // port (both network order) and a flag word. Takes the command lock.
  int SendTarget(int32_t command, uint32_t addressNetworkOrder, uint16_t portNetworkOrder, uint16_t flag, uint32_t ms);
  PictureCallback GetPictureCallback() const { return pictureCallback_.load(std::memory_order_acquire); }
  // Asks the camera for a picture now (snapshot connection); see snapshot.cpp.
  int Snap(int32_t value, uint32_t ms);
  // ---- video stream; see stream/stream_control.cpp.
  // Starts (callback not null) or stops the stream; takes the command lock.
  int SetStreamCallback(StreamCallback callback, int32_t user, uint32_t ms);
  StreamCallback GetStreamCallback() const { return streamCallback_.load(std::memory_order_acquire); }
  int32_t StreamUser() const { return streamUser_.load(std::memory_order_relaxed); }
  // The stream stop of a deletion (short budget, result ignored).
  void StopStreamForDeletion() { (void)SetStreamCallback(nullptr, 0, 20); }
  // Command 1081 with the host address and a receiver's port.
  int RegisterStreamTarget(uint16_t portNetworkOrder, uint32_t ms);
  // Command 501 as the camera's model wants it, at a start and at a stop.
  int StartSending(uint32_t ms);
  void StopSending(uint32_t ms);

  // ---- SD card and stored pictures; see storage/. Each takes the command
  // lock.
  int GetSDCardState(SDCardState* state, uint32_t ms);
  int FormatSDCard(uint32_t ms);
  int GetFormatSDCardProgress(int* progress, uint32_t ms);
  int GetDirectoryTree(DirectoryTree* tree, uint32_t ms);
  int GetJPGPic(const void* name, char** picture, int* length, uint32_t ms);
  int DeleteJPGPic(const void* name, uint32_t ms);
  // The entries lent by the last listing (null: none lent now).
  const DirectoryEntry* LentEntries() const { return entryArray_.get(); }
  bool LargeReplyMapped() const { return largeReply_.Mapped(); }

  // Diagnostic counters; shared with the stream receiver serving the camera.
  CameraCounters& Counters() { return *counters_; }
  const std::shared_ptr<CameraCounters>& SharedCounters() const { return counters_; }

  // The host address announced to the camera, network order (0: unknown).
  uint32_t HostAddress() const { return hostAddress_; }

 private:
  int ReceiveReplyFrom(const Stopwatch& start, uint32_t ms);
  // Sends the request built and receives its reply header, whose payload
  // (left unread) may be at most `limit` bytes; on failure the connection is
  // dropped and the last error set (listings and stored pictures).
  int StartLargeReply(size_t limit, const Stopwatch& start, uint32_t ms);
  int SetStreamMode(int32_t mode, uint32_t ms);
  // Connects `link` to the camera unless it is connected.
  bool EnsureLinked(Link& link, uint32_t ms);

  const int handle_;
  DeviceRecord record_;
  std::atomic<uint32_t> cameraAddress_;
  std::atomic<PictureCallback> pictureCallback_{nullptr};

  // Push target as last announced, network order, and whether that
  // announcement succeeded on the current connection.
  uint32_t pushAddress_ = 0;
  uint16_t pushPort_ = 0;
  uint16_t pushRegistered_ = 0;
  uint32_t hostAddress_ = 0;
  // Stream target as last announced (network order) and its flag, which
  // nothing sets.
  uint32_t streamAddress_ = 0;
  uint16_t streamPort_ = 0;
  uint16_t streamFlag_ = 0;
  std::atomic<StreamCallback> streamCallback_{nullptr};
  std::atomic<int32_t> streamUser_{0};
  std::shared_ptr<CRecvStreamThread> streamWorker_;  // under the command lock

  std::recursive_mutex commandLock_;
  std::recursive_mutex callbackLock_;

  std::mutex deliveryMutex_;
  std::condition_variable deliveriesDone_;
  int deliveriesInFlight_ = 0;  // under deliveryMutex_
  bool retired_ = false;        // under deliveryMutex_

  std::array<uint8_t, kMessageBufferSize> requestBuffer_{};
  std::array<uint8_t, kMessageBufferSize> replyBuffer_{};
  CommandHeader requestHeader_;
  CommandHeader replyHeader_;
  int32_t sequence_ = 0;
  int32_t snapSequence_ = 0;

  CameraConnection connection_;
  // Guards connection_.snapshot, and connection_.camera with the command
  // lock (written under both, read under either).
  std::mutex snapshotLock_;
  IoResult lastConnectResult_ = IoResult::kOk;  // why the last connect failed
  SettingsCache cache_;
  bool pendingSave_ = false;
  bool shortRecords_ = false;

  // Lent to callers: the entries of the last listing and the last picture
  // fetched; guarded by the command lock.
  std::unique_ptr<DirectoryEntry[]> entryArray_;
  LargeReplyBuffer largeReply_;

  std::shared_ptr<CameraCounters> counters_ = std::make_shared<CameraCounters>();
  bool commandConnectedBefore_ = false;  // a later connect is a reconnection
};

}  // namespace vkt
