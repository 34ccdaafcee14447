#include "picture/picture_receiver.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <ace/ACE.h>
#include <ace/Flag_Manip.h>

#include <cerrno>
#include <cstring>

#include "api/library.h"
#include "camera/camera_context.h"
#include "picture/recv_pic_server_thread.h"

namespace vkt {
namespace {

// Out of descriptors: accepting pauses this long unless a connection ends.
constexpr std::chrono::milliseconds kAcceptRetry{50};
// Windows end at most this late: at thousands of pictures a second the timer
// would otherwise fire for nearly every one (most have ended long before).
constexpr std::chrono::milliseconds kTimerSlack{5};

}  // namespace

PictureReceiver::PictureReceiver(const PictureLimits& limits)
    : limits_(limits),
      listenAddress_(static_cast<u_short>(0), static_cast<ACE_UINT32>(INADDR_ANY)),
      buffers_(limits.bufferBytes) {}

PictureReceiver::~PictureReceiver() { Stop(); }

bool PictureReceiver::Arm(int handle, uint64_t id, int op) {
  epoll_event event{};
  event.events = EPOLLIN | EPOLLRDHUP | (id == kWakeId ? 0u : static_cast<uint32_t>(EPOLLONESHOT));
  event.data.u64 = id;
  return ::epoll_ctl(epoll_, op, handle, &event) == 0;
}

bool PictureReceiver::Start(uint16_t port, int workers) {
  stopping_.store(false, std::memory_order_release);
  ACE_INET_Addr wanted(port, static_cast<ACE_UINT32>(INADDR_ANY));
  listening_ = acceptor_.open(wanted, 1, PF_INET, SOMAXCONN) == 0;
  if (!listening_) {
    // The port is taken: listen wherever the system lets us and announce
    // that port instead.
    ACE_INET_Addr any(static_cast<u_short>(0), static_cast<ACE_UINT32>(INADDR_ANY));
    listening_ = acceptor_.open(any, 1, PF_INET, SOMAXCONN) == 0;
  }
  if (listening_) {
    acceptor_.get_local_addr(listenAddress_);
    (void)ACE::set_flags(acceptor_.get_handle(), ACE_NONBLOCK);
    // A connection is handed over once its first bytes have come (or, if it
    // stays silent, after about a second), so the accepting thread finds
    // the start of the picture waiting instead of an empty socket that has
    // to join the readiness set first. Best effort: without it every
    // connection simply comes at once.
    const int deferSeconds = 1;
    (void)::setsockopt(acceptor_.get_handle(), IPPROTO_TCP, TCP_DEFER_ACCEPT, &deferSeconds, sizeof deferSeconds);
  }

  epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
  wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  timer_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (epoll_ < 0 || wake_ < 0 || timer_ < 0 || !Arm(wake_, kWakeId, EPOLL_CTL_ADD) ||
      !Arm(timer_, kTimerId, EPOLL_CTL_ADD) ||
      (listening_ && !Arm(acceptor_.get_handle(), kListenerId, EPOLL_CTL_ADD))) {
    Stop();
    return false;
  }
  for (int i = 0; i < workers; ++i) {
    auto worker = std::make_unique<CRecvPicServerThread>(*this);
    if (worker->activate(THR_NEW_LWP | THR_JOINABLE, 1) != 0) {
      Stop();
      return false;
    }
    workers_.push_back(std::move(worker));
  }
  return true;
}

void PictureReceiver::Stop() {
  stopping_.store(true, std::memory_order_release);
  if (wake_ >= 0) {
    const uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
  }
  for (auto& worker : workers_) worker->wait();
  workers_.clear();
  // No thread runs any more: what is still open closes unread.
  std::unordered_map<uint64_t, Entry> open;
  {
    std::lock_guard<std::mutex> lock(tableLock_);
    open.swap(connections_);
    deadlines_.clear();
    parked_.clear();
    acceptPaused_ = false;
    resumeWanted_.store(false);
    acceptRetryAt_.reset();
  }
  for (auto& [id, entry] : open) Finish(std::move(entry.connection), std::nullopt);
  for (int* fd : {&epoll_, &wake_, &timer_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  if (listening_) {
    acceptor_.close();
    listening_ = false;
  }
}

void PictureReceiver::ServeOne(uint8_t* scratch, size_t scratchSize) {
  epoll_event event{};
  // Bounded, although the wake-up event alone ends the wait at a stop.
  const int n = ::epoll_wait(epoll_, &event, 1, 1000);
  if (n <= 0 || Stopping()) return;
  switch (event.data.u64) {
    case kWakeId:
      return;
    case kListenerId:
      AcceptSome(scratch, scratchSize);
      return;
    case kTimerId:
      Expire();
      return;
    default:
      ServeConnection(event.data.u64, scratch, scratchSize);
      return;
  }
}

void PictureReceiver::AcceptSome(uint8_t* scratch, size_t scratchSize) {
  for (;;) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const int handle = ::accept4(acceptor_.get_handle(), reinterpret_cast<sockaddr*>(&peer), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (handle < 0) {
      if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
      std::lock_guard<std::mutex> lock(tableLock_);
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        Arm(acceptor_.get_handle(), kListenerId, EPOLL_CTL_MOD);
      } else {
        // Out of descriptors or memory, or a broken socket: pause rather
        // than spin on a listener that stays readable.
        acceptPaused_ = true;
        resumeWanted_.store(true);  // a connection that ends frees a descriptor
        acceptRetryAt_ = Clock::now() + kAcceptRetry;
        ArmTimerLocked();
      }
      return;
    }
    // The window starts at the accept.
    const Clock::time_point acceptedAt = Clock::now();
    // It counts against the cap from now on, so threads accepting side by
    // side cannot pass it.
    const size_t open = open_.fetch_add(1) + 1;
    if (open < limits_.connections && !buffers_.Full()) {
      // The next connection is another thread's to accept, while this one
      // reads what its camera has sent already. No lock: no one else arms
      // the listener while it is neither armed nor paused, and it stays
      // open until every thread has stopped.
      Arm(acceptor_.get_handle(), kListenerId, EPOLL_CTL_MOD);
    } else {
      // Room frees when a connection ends; until then new ones wait in the
      // backlog.
      std::lock_guard<std::mutex> lock(tableLock_);
      acceptPaused_ = true;
      WantResumeLocked();
    }
    Admit(handle, peer.sin_addr.s_addr, acceptedAt, scratch, scratchSize);
    return;
  }
}

void PictureReceiver::Admit(ACE_HANDLE handle, uint32_t peerAddress, Clock::time_point acceptedAt, uint8_t* scratch,
                            size_t scratchSize) {
  // Only registered cameras may send; anyone else is closed unread. The
  // connection's reference keeps the camera alive until its picture ends.
  std::shared_ptr<CameraContext> camera = Library::Instance().Registry().FindByAddress(peerAddress);
  if (!camera) {
    Count(LibraryCounters().unknownSenderConnections);
    Refuse(handle);
    return;
  }
  CameraCounters& counters = camera->Counters();
  Count(counters.pictureConnections);
  // Another thread may be admitting a connection of the same camera: the
  // share is taken in one step.
  uint64_t open = counters.pictureConnectionsOpen.load(std::memory_order_relaxed);
  do {
    if (open >= limits_.perCamera) {
      counters.Drop(PictureDrop::kOverShare);
      Refuse(handle);
      return;
    }
  } while (!counters.pictureConnectionsOpen.compare_exchange_weak(open, open + 1, std::memory_order_relaxed));
  LibraryCounterSet& library = LibraryCounters();
  RaisePeak(library.pictureConnectionsPeak, library.pictureConnectionsOpen.fetch_add(1) + 1);

  const Clock::time_point deadline = acceptedAt + kWindow;
  auto connection = std::make_unique<PictureConnection>(handle, std::move(camera), deadline, buffers_);
  // Read what it holds already before it joins the table: a small picture
  // is often all there, and then it never needs the table, the deadline
  // queue or the readiness set. Until it joins, only this thread knows it.
  const PictureConnection::Step step = connection->Read(scratch, scratchSize);
  if (Ends(step)) {
    Conclude(std::move(connection), step);
    return;
  }
  std::unique_ptr<PictureConnection> ended;
  {
    std::lock_guard<std::mutex> lock(tableLock_);
    const uint64_t id = nextId_++;
    const bool firstDeadline = deadlines_.empty();
    deadlines_.emplace_back(deadline, id);
    if (firstDeadline) ArmTimerLocked();
    Entry& entry = connections_.emplace(id, Entry{std::move(connection)}).first->second;
    ended = AwaitLocked(entry, id, step);
  }
  if (ended) Conclude(std::move(ended), step);
}

void PictureReceiver::ServeConnection(uint64_t id, uint8_t* scratch, size_t scratchSize) {
  PictureConnection* connection;
  {
    std::lock_guard<std::mutex> lock(tableLock_);
    auto it = connections_.find(id);
    // Ended meanwhile (its window ran out): the event is stale.
    if (it == connections_.end() || it->second.busy) return;
    it->second.busy = true;
    connection = it->second.connection.get();
  }
  // Read outside the lock: others serve other connections meanwhile.
  const PictureConnection::Step step = connection->Read(scratch, scratchSize);
  std::unique_ptr<PictureConnection> ended;
  {
    std::lock_guard<std::mutex> lock(tableLock_);
    Entry& entry = connections_.at(id);
    entry.busy = false;
    ended = Ends(step) ? TakeLocked(id) : AwaitLocked(entry, id, step);
  }
  if (ended) Conclude(std::move(ended), step);
}

std::unique_ptr<PictureConnection> PictureReceiver::AwaitLocked(Entry& entry, uint64_t id,
                                                                PictureConnection::Step step) {
  // Its window ran out while it waited or was read: it ends here.
  if (Clock::now() >= entry.connection->Deadline()) return TakeLocked(id);
  if (step == PictureConnection::Step::kNoRoom && buffers_.Full()) {
    // Read again once a connection ends and gives room back.
    entry.parked = true;
    parked_.push_back(id);
    WantResumeLocked();
  } else {
    WaitForBytesLocked(entry, id);
  }
  return nullptr;
}

void PictureReceiver::Conclude(std::unique_ptr<PictureConnection> ended, PictureConnection::Step step) {
  switch (step) {
    case PictureConnection::Step::kComplete:
      Deliver(*ended);
      Finish(std::move(ended), std::nullopt);
      return;
    case PictureConnection::Step::kDrop: {
      const PictureDrop reason = ended->DropReason();
      Finish(std::move(ended), reason);
      return;
    }
    case PictureConnection::Step::kNoRoom:
      Finish(std::move(ended), PictureDrop::kBufferCap);
      return;
    case PictureConnection::Step::kNeedMore:
      Finish(std::move(ended), PictureDrop::kTimeWindow);
      return;
  }
}

void PictureReceiver::WaitForBytesLocked(Entry& entry, uint64_t id) {
  Arm(entry.connection->Handle(), id, entry.watched ? EPOLL_CTL_MOD : EPOLL_CTL_ADD);
  entry.watched = true;
}

void PictureReceiver::Deliver(PictureConnection& connection) {
  CameraContext& camera = connection.Camera();
  CameraCounters& counters = camera.Counters();
  // Only to the very camera found at the accept, while it is not deleted.
  if (!camera.BeginDelivery()) {
    counters.Drop(PictureDrop::kCameraDeleted);
    return;
  }
  PictureCallback callback = camera.GetPictureCallback();
  if (callback == nullptr) {
    camera.EndDelivery();
    counters.Drop(PictureDrop::kNoCallback);
    return;
  }
  // What did not arrive of the record reads as zero, never as other bytes.
  uint8_t head[picture::kRecordEnd] = {};
  std::memcpy(head, connection.Picture(), std::min<size_t>(connection.Length(), sizeof head));
  int32_t value = 0;
  PictureInfo info = picture::ReadPictureInfo(head, connection.App1Length(), camera.Handle(), value);
  // The callback may keep nothing but what it copies: the bytes are the
  // connection's (or this thread's scratch) and go when it returns.
  callback(reinterpret_cast<char*>(const_cast<uint8_t*>(connection.Picture())), static_cast<int>(connection.Length()),
           &info, value);
  camera.EndDelivery();
  Count(counters.picturesDelivered);
  Count(counters.pictureBytes, connection.Length());
}

void PictureReceiver::Expire() {
  std::vector<std::unique_ptr<PictureConnection>> expired, waitedForRoom;
  {
    std::lock_guard<std::mutex> lock(tableLock_);
    uint64_t ticks;
    (void)!::read(timer_, &ticks, sizeof ticks);
    const Clock::time_point now = Clock::now();
    while (!deadlines_.empty() && deadlines_.front().first <= now) {
      const uint64_t id = deadlines_.front().second;
      deadlines_.pop_front();
      auto it = connections_.find(id);
      // Gone already, or being read: its reader sees the deadline.
      if (it == connections_.end() || it->second.busy) continue;
      const bool parked = it->second.parked;
      auto connection = TakeLocked(id);
      (parked ? waitedForRoom : expired).push_back(std::move(connection));
    }
    if (acceptRetryAt_ && *acceptRetryAt_ <= now) {
      acceptRetryAt_.reset();
      ResumeLocked();
    }
    ArmTimerLocked();
    Arm(timer_, kTimerId, EPOLL_CTL_MOD);
  }
  for (auto& connection : expired) Finish(std::move(connection), PictureDrop::kTimeWindow);
  for (auto& connection : waitedForRoom) Finish(std::move(connection), PictureDrop::kBufferCap);
}

void PictureReceiver::Finish(std::unique_ptr<PictureConnection> connection, std::optional<PictureDrop> drop) {
  const std::shared_ptr<CameraContext> camera = connection->SharedCamera();
  CameraCounters& counters = camera->Counters();
  if (drop) counters.Drop(*drop);
  connection.reset();  // closes it and gives its bytes back
  counters.pictureConnectionsOpen.fetch_sub(1, std::memory_order_relaxed);
  LibraryCounters().pictureConnectionsOpen.fetch_sub(1, std::memory_order_relaxed);
  Closed();
}

void PictureReceiver::Refuse(ACE_HANDLE handle) {
  ::shutdown(handle, SHUT_WR);
  ::close(handle);
  Closed();
}

void PictureReceiver::Closed() {
  // Both sides change open_ (an accept that pauses adds 0), so one of the two
  // changes reads the other's: either the pausing thread sees this
  // connection gone and its bytes given back, or this thread sees the flag.
  open_.fetch_sub(1, std::memory_order_acq_rel);
  if (!resumeWanted_.load(std::memory_order_relaxed) || Stopping()) return;
  std::lock_guard<std::mutex> lock(tableLock_);
  ResumeLocked();
}

void PictureReceiver::WantResumeLocked() {
  resumeWanted_.store(true, std::memory_order_relaxed);
  open_.fetch_add(0, std::memory_order_acq_rel);  // pairs with Closed()
  // Room may have freed before the flag was seen.
  ResumeLocked();
}

std::unique_ptr<PictureConnection> PictureReceiver::TakeLocked(uint64_t id) {
  auto it = connections_.find(id);
  std::unique_ptr<PictureConnection> connection = std::move(it->second.connection);
  connections_.erase(it);
  return connection;
}

bool PictureReceiver::AtCapacity() const {
  return open_.load() >= limits_.connections || buffers_.Full();
}

void PictureReceiver::ResumeLocked() {
  if (acceptPaused_ && !AtCapacity()) {
    acceptPaused_ = false;
    Arm(acceptor_.get_handle(), kListenerId, EPOLL_CTL_MOD);
  }
  if (!parked_.empty() && !buffers_.Full()) {
    for (uint64_t id : parked_) {
      auto it = connections_.find(id);
      if (it == connections_.end() || !it->second.parked) continue;
      it->second.parked = false;
      WaitForBytesLocked(it->second, id);
    }
    parked_.clear();
  }
  resumeWanted_.store(acceptPaused_ || !parked_.empty(), std::memory_order_relaxed);
}

void PictureReceiver::ArmTimerLocked() {
  std::optional<Clock::time_point> next;
  if (!deadlines_.empty()) next = std::max(deadlines_.front().first, Clock::now() + kTimerSlack);
  if (acceptRetryAt_ && (!next || *acceptRetryAt_ < *next)) next = acceptRetryAt_;
  itimerspec when{};
  if (next) {
    const auto since = std::chrono::duration_cast<std::chrono::nanoseconds>(next->time_since_epoch()).count();
    // 0 would disarm the timer; a deadline at the epoch is long past anyway.
    when.it_value.tv_sec = static_cast<time_t>(since / 1000000000);
    when.it_value.tv_nsec = static_cast<long>(since % 1000000000);
    if (when.it_value.tv_sec == 0 && when.it_value.tv_nsec == 0) when.it_value.tv_nsec = 1;
  }
  (void)::timerfd_settime(timer_, TFD_TIMER_ABSTIME, &when, nullptr);
}

}  // namespace vkt
