#include "stream/recv_stream_thread.h"

#include <sys/socket.h>

#include <cstring>

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

bool CRecvStreamThread::Accepts(uint32_t source, bool& idle) {
  std::lock_guard<std::mutex> lock(lock_);
  if (!camera_) {
    idle = true;
    return false;
  }
  return source == cameraAddress_;
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
  }
}

int CRecvStreamThread::svc() {
  EnterLibraryThread();
  if (!socketOpen_) {
    // No socket, nothing to receive: wait for the stop instead of spinning.
    while (!Stopping()) WaitForWake();
    return 0;
  }
  // One byte more than a packet, so an oversized datagram is seen as such.
  uint8_t packet[stream::kPacketSize + 1];
  ACE_INET_Addr source;
  bool idle = false;
  uint32_t attachmentSeen = 0;
  while (!Stopping()) {
    if (idle) {
      // Nobody to receive for: sleep until a camera is attached.
      WaitForWake();
      idle = false;
      continue;
    }
    ssize_t n = socket_.recv(packet, sizeof packet, source);
    if (n != static_cast<ssize_t>(stream::kPacketSize)) continue;
    if (!Accepts(source.get_ip_address(), idle)) continue;
    {
      // A frame in progress belongs to the camera it started with.
      std::lock_guard<std::mutex> lock(lock_);
      if (attachments_ != attachmentSeen) {
        attachmentSeen = attachments_;
        assembler_.Reset();
      }
    }
    if (assembler_.Feed(packet)) Deliver();
  }
  return 0;
}

}  // namespace vkt
