// The picture listening socket and every picture connection open on it,
// served side by side by the pool of receiver threads.
//
// One readiness set (epoll) holds the listening socket, every open picture
// connection, a timer and a wake-up event. Each entry is armed for one
// event at a time (EPOLLONESHOT), so whichever receiver thread takes an
// event owns that socket until it arms it again. A thread that takes the
// listener accepts one connection, arms the listener for the next thread,
// and reads what the new connection holds already (a small picture is often
// all there, and then it is delivered without the connection ever joining
// the table or taking its lock); a connection that needs more joins the
// table and the set, and any thread reads whatever it holds when it is
// ready. One thread at a time ends the windows that ran out. No thread ever
// blocks on one connection.
//
// Caps: open connections are counted from the accept to the close in one
// atomic count, so an accept needs no lock; when the cap on connections or
// on buffered bytes is reached the listener is left unarmed (paused) and the
// next close that finds it paused arms it again.
// The thread that completes a picture hands it to the camera's callback
// itself, holding no lock, so a slow callback stalls only its own thread.
//
// Accepts are deferred by the kernel until a connection's first bytes come
// (or about a second of silence has passed), so the first read after an
// accept mostly finds the picture, often all of it.
//
// Windows: every connection has one second from its accept. Accepts come
// in order, so the deadlines form a queue in expiry order; the timer is set
// to the first one. A connection that is being read when its time comes is
// ended by its reader, which checks the deadline before each read.
//
// Stop: a stop flag, then the wake-up event (which every thread's wait
// reports), then the join; only then are the connections closed.
#pragma once

#include <ace/INET_Addr.h>
#include <ace/SOCK_Acceptor.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "VKTNetSDK11.h"
#include "picture/picture_buffers.h"
#include "picture/picture_connection.h"
#include "picture/picture_limits.h"

namespace vkt {

class CRecvPicServerThread;

class PictureReceiver {
 public:
  static constexpr std::chrono::milliseconds kWindow{1000};

  explicit PictureReceiver(const PictureLimits& limits = {});
  ~PictureReceiver();  // stops first
  PictureReceiver(const PictureReceiver&) = delete;
  PictureReceiver& operator=(const PictureReceiver&) = delete;

  // Opens the listening socket on `port` of any local address, or on a port
  // of the system's choosing when `port` is taken, then starts `workers`
  // receivers. False when the readiness set or a receiver thread could not
  // be made; what was started is stopped again.
  bool Start(uint16_t port, int workers);
  // Stops and joins every receiver, then closes every connection and the
  // listening socket. Idempotent. Must not run on a receiver thread.
  void Stop();

  // The address actually bound (port 0 when no socket could be opened).
  ACE_INET_Addr ListenAddress() const { return listenAddress_; }
  uint16_t ListenPort() const { return static_cast<uint16_t>(listenAddress_.get_port_number()); }

  // For the receivers.
  bool Stopping() const { return stopping_.load(std::memory_order_acquire); }
  // Waits for one event and serves it; `scratch` is the calling thread's.
  void ServeOne(uint8_t* scratch, size_t scratchSize);

 private:
  struct Entry {
    std::unique_ptr<PictureConnection> connection;
    bool busy = false;    // a thread is reading it
    bool parked = false;  // waits for room under the buffer cap
    bool watched = false; // in the readiness set
  };
  using Clock = PictureConnection::Clock;

  // Accepts one connection and reads what it holds already.
  void AcceptSome(uint8_t* scratch, size_t scratchSize);
  void Admit(ACE_HANDLE handle, uint32_t peerAddress, Clock::time_point acceptedAt, uint8_t* scratch,
             size_t scratchSize);
  // Reads a connection of the table that its event says is ready.
  void ServeConnection(uint64_t id, uint8_t* scratch, size_t scratchSize);
  static bool Ends(PictureConnection::Step step) {
    return step == PictureConnection::Step::kComplete || step == PictureConnection::Step::kDrop;
  }
  // A connection out of the table whose last read ended it, or whose
  // window ran out (or one that never joined the table): delivers its
  // picture or counts its drop, then closes it.
  void Conclude(std::unique_ptr<PictureConnection> ended, PictureConnection::Step step);
  void Deliver(PictureConnection& connection);
  void Expire();
  // Closes a connection unread.
  void Refuse(ACE_HANDLE handle);
  // Ends a connection out of the table; `drop`: why no picture.
  void Finish(std::unique_ptr<PictureConnection> connection, std::optional<PictureDrop> drop);
  // An accepted connection is closed: its room goes back, and a paused
  // accept or parked connections resume if they wait for it.
  void Closed();
  bool AtCapacity() const;

  // Under tableLock_.
  std::unique_ptr<PictureConnection> TakeLocked(uint64_t id);
  // An accept paused or a connection parked: the next Closed() must look.
  void WantResumeLocked();
  // A connection that needs more bytes (or room): waits for them, or is
  // taken out of the table and returned when its window has run out.
  std::unique_ptr<PictureConnection> AwaitLocked(Entry& entry, uint64_t id, PictureConnection::Step step);
  // Arms the connection for its next bytes.
  void WaitForBytesLocked(Entry& entry, uint64_t id);
  void ResumeLocked();
  void ArmTimerLocked();
  bool Arm(int handle, uint64_t id, int op);

  const PictureLimits limits_;
  ACE_SOCK_Acceptor acceptor_;
  bool listening_ = false;
  ACE_INET_Addr listenAddress_;
  std::atomic<bool> stopping_{false};
  int epoll_ = -1;
  int wake_ = -1;   // eventfd: readable once stopping
  int timer_ = -1;  // timerfd: the first window's end, or an accept retry

  PictureBuffers buffers_;

  std::mutex tableLock_;
  std::unordered_map<uint64_t, Entry> connections_;
  std::deque<std::pair<Clock::time_point, uint64_t>> deadlines_;  // in expiry order
  std::vector<uint64_t> parked_;                                  // may name ended ones
  uint64_t nextId_ = kFirstConnectionId;
  // Accepted and not yet closed, in the table or not (yet): what the cap on
  // open connections counts. Taken without the lock at every accept.
  std::atomic<size_t> open_{0};
  // acceptPaused_ or parked_ not empty; read without the lock.
  std::atomic<bool> resumeWanted_{false};
  bool acceptPaused_ = false;
  std::optional<Clock::time_point> acceptRetryAt_;  // out of descriptors: try again then

  std::vector<std::unique_ptr<CRecvPicServerThread>> workers_;

  static constexpr uint64_t kWakeId = 0;
  static constexpr uint64_t kListenerId = 1;
  static constexpr uint64_t kTimerId = 2;
  static constexpr uint64_t kFirstConnectionId = 16;
};

}  // namespace vkt
