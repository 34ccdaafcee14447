#include "stream/recv_stream_thread.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <vector>

#include "api/last_error.h"
#include "api/library_thread.h"
#include "camera/camera_context.h"
#include "picture/camera_time.h"

namespace vkt {

CRecvStreamThread::CRecvStreamThread()
    : localAddress_(static_cast<u_short>(0), static_cast<ACE_UINT32>(INADDR_ANY)),
      buffer_(new uint8_t[stream::kMaxFrame]),
      assembler_(buffer_.get()) {}

CRecvStreamThread::~CRecvStreamThread() {
  if (socketOpen_) socket_.close();
}

bool CRecvStreamThread::Open() {
  ACE_INET_Addr any(static_cast<u_short>(0), static_cast<ACE_UINT32>(INADDR_ANY));
  if (socket_.open(any, PF_INET) != 0 || socket_.get_local_addr(localAddress_) != 0) {
    socket_.close();
    SetLastError(err::kGeneral);
    return false;
  }
  // A deep receive buffer absorbs a whole frame's burst. The forced form
  // passes the system's cap where the process may do so; a refusal of both
  // is harmless.
  int size = kSocketBufferSize;
  if (socket_.set_option(SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0) {
    (void)socket_.set_option(SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  }
  socketOpen_ = true;
  return true;
}

bool CRecvStreamThread::Start() {
  started_ = activate(THR_NEW_LWP | THR_JOINABLE, 1) == 0;
  return started_;
}

void CRecvStreamThread::RequestStop() {
  stopping_.store(true, std::memory_order_release);
  {
    std::lock_guard<std::mutex> lock(wakeLock_);
    wakeSignalled_ = true;
  }
  wake_.notify_all();
  // Shutting a datagram socket down makes a blocked receive return at once.
  if (socketOpen_) ::shutdown(socket_.get_handle(), SHUT_RDWR);
}

void CRecvStreamThread::Join() {
  if (started_) wait();
  started_ = false;
}

int CRecvStreamThread::Attach(const std::shared_ptr<CameraContext>& camera, uint32_t ms) {
  std::lock_guard<std::mutex> lock(lock_);
  if (!camera) return 0;
  camera_ = camera;
  info_.camera = camera->Handle();
  cameraAddress_ = ntohl(camera->CameraAddress());
  ++attachments_;
  if (!socketOpen_ || camera->RegisterStreamTarget(htons(LocalPort()), ms) != 0) {
    camera_.reset();
    info_.camera = 0;
    SetLastError(err::kGeneral);
    return 1;
  }
  {
    std::lock_guard<std::mutex> wakeLock(wakeLock_);
    wakeSignalled_ = true;
  }
  wake_.notify_all();
  return camera->StartSending(ms);
}

void CRecvStreamThread::Detach(uint32_t ms) {
  std::lock_guard<std::mutex> lock(lock_);
  if (camera_) camera_->StopSending(ms);
  {
    std::lock_guard<std::mutex> wakeLock(wakeLock_);
    wakeSignalled_ = false;
  }
  camera_.reset();
  cameraAddress_ = 0;
}

bool CRecvStreamThread::Attached() {
  std::lock_guard<std::mutex> lock(lock_);
  return camera_ != nullptr;
}

void CRecvStreamThread::WaitForWake() {
  std::unique_lock<std::mutex> lock(wakeLock_);
  wake_.wait(lock, [this] { return wakeSignalled_ || Stopping(); });
  wakeSignalled_ = false;
}

void CRecvStreamThread::Deliver() {
  std::lock_guard<std::mutex> lock(lock_);
  if (!camera_) return;
  const uint8_t* record = buffer_.get() + stream::kRecordOffset;
  int32_t seconds, micros;
  std::memcpy(&info_.recordWord8, record + 8, 4);
  std::memcpy(&seconds, record + 12, 4);
  std::memcpy(&micros, record + 16, 4);
  std::memcpy(&info_.recordWord28, record + 28, 4);
  info_.time = ToCameraTime(seconds, micros);
  StreamCallback callback = camera_->GetStreamCallback();
  if (callback != nullptr) {
    // Under this receiver's lock: a stop waits for the callback to return.
    t_streamCallbackCamera = camera_.get();
    callback(reinterpret_cast<char*>(buffer_.get()), static_cast<int>(assembler_.Length()), &info_,
             camera_->StreamUser());
    t_streamCallbackCamera = nullptr;
    CameraCounters& counters = camera_->Counters();
    Count(counters.framesDelivered);
    Count(counters.streamBytes, assembler_.Length());
  }
}

int CRecvStreamThread::svc() {
  EnterLibraryThread();
  if (!socketOpen_) {
    // No socket, nothing to receive: wait for the stop instead of spinning.
    while (!Stopping()) WaitForWake();
    return 0;
  }
  // Datagrams are taken in batches, one system call for many: a 256 KiB
  // frame is 257 of them. Each slot has one byte more than a packet, so an
  // oversized datagram shows its real size.
  constexpr unsigned kBatch = 32;
  std::vector<uint8_t> slots(kBatch * (stream::kPacketSize + 1));
  mmsghdr messages[kBatch];
  iovec vectors[kBatch];
  sockaddr_in sources[kBatch];
  for (unsigned i = 0; i < kBatch; ++i) {
    vectors[i] = {slots.data() + i * (stream::kPacketSize + 1), stream::kPacketSize + 1};
    messages[i].msg_hdr = {};
    messages[i].msg_hdr.msg_iov = &vectors[i];
    messages[i].msg_hdr.msg_iovlen = 1;
    messages[i].msg_hdr.msg_name = &sources[i];
  }
  uint32_t attachmentSeen = 0;
  std::shared_ptr<CameraCounters> counters;  // of the camera served, taken at each attachment
  while (!Stopping()) {
    for (unsigned i = 0; i < kBatch; ++i) messages[i].msg_hdr.msg_namelen = sizeof sources[i];
    // Blocks for the first datagram, then takes whatever else is waiting.
    int received = ::recvmmsg(socket_.get_handle(), messages, kBatch, MSG_WAITFORONE, nullptr);
    if (received <= 0) continue;
    uint32_t camera, attachments;
    {
      std::lock_guard<std::mutex> lock(lock_);
      camera = camera_ ? cameraAddress_ : 0;
      attachments = attachments_;
      if (attachments != attachmentSeen && camera_) counters = camera_->SharedCounters();
    }
    if (camera == 0) {
      // Nobody to receive for: sleep until a camera is attached.
      WaitForWake();
      continue;
    }
    if (attachments != attachmentSeen) {
      // A frame in progress belongs to the camera it started with.
      attachmentSeen = attachments;
      assembler_.Reset();
    }
    stream::FrameDrops drops;
    uint64_t wrongSize = 0, wrongSender = 0;
    for (int i = 0; i < received; ++i) {
      if (messages[i].msg_len != stream::kPacketSize) {
        ++wrongSize;
        continue;
      }
      if (ntohl(sources[i].sin_addr.s_addr) != camera) {  // the source port plays no part
        ++wrongSender;
        continue;
      }
      if (assembler_.Feed(static_cast<const uint8_t*>(vectors[i].iov_base), &drops)) Deliver();
    }
    // Counted once per batch, not per datagram.
    if (counters) {
      if (wrongSize != 0) Count(counters->datagramsIgnoredSize, wrongSize);
      if (wrongSender != 0) Count(counters->datagramsIgnoredSender, wrongSender);
      if (drops.Any()) {
        Count(counters->framesDroppedGap, drops.gap);
        Count(counters->framesDroppedPastLast, drops.pastLast);
        Count(counters->framesDroppedOversize, drops.oversize);
      }
    }
  }
  return 0;
}

}  // namespace vkt
