#include "picture/recv_pic_server_thread.h"

#include <arpa/inet.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <ace/OS_NS_sys_socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "api/clock.h"
#include "api/library.h"
#include "api/library_thread.h"
#include "camera/camera_context.h"
#include "picture/picture_receiver.h"

namespace vkt {

CRecvPicServerThread::CRecvPicServerThread(PictureReceiver& owner)
    : owner_(owner), buffer_(new uint8_t[picture::kMaxPicture]) {}

CRecvPicServerThread::~CRecvPicServerThread() = default;

int CRecvPicServerThread::svc() {
  EnterLibraryThread();
  // Pictures are received one step above normal priority. Best effort: an
  // unprivileged process may not raise it, which is harmless.
  (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), -1);

  while (!owner_.Stopping()) {
    ACE_SOCK_Stream connection;
    ACE_INET_Addr peer;
    if (!owner_.Accept(connection, peer)) continue;  // Accept paces failures itself
    {
      std::lock_guard<std::mutex> lock(activeLock_);
      active_ = connection.get_handle();
    }
    // A stop that came before the line above finds this flag set.
    if (!owner_.Stopping()) Serve(connection, peer);
    {
      std::lock_guard<std::mutex> lock(activeLock_);
      active_ = ACE_INVALID_HANDLE;
    }
    // Both directions at once, then close.
    ::shutdown(connection.get_handle(), SHUT_RDWR);
    connection.close();
  }
  return 0;
}

void CRecvPicServerThread::Interrupt() {
  std::lock_guard<std::mutex> lock(activeLock_);
  if (active_ != ACE_INVALID_HANDLE) ::shutdown(active_, SHUT_RDWR);
}

void CRecvPicServerThread::Serve(ACE_SOCK_Stream& connection, const ACE_INET_Addr& peer) {
  // Only registered cameras may send; anyone else is closed unread. The
  // reference keeps the camera alive through its callback.
  CameraRegistry& registry = Library::Instance().Registry();
  std::shared_ptr<CameraContext> camera = registry.FindByAddress(htonl(peer.get_ip_address()));
  if (!camera) {
    Count(LibraryCounters().unknownSenderConnections);
    return;
  }
  CameraCounters& counters = camera->Counters();
  Count(counters.pictureConnections);

  picture::PictureFraming framing;
  size_t received = 0;
  if (auto drop = ReceivePicture(connection, framing, received)) {
    counters.Drop(*drop);
    return;
  }

  // Delivered only to the very camera that was found, if it is still
  // registered and has a callback; a deletion waits for the delivery.
  std::lock_guard<std::recursive_mutex> delivery(camera->DeliveryLock());
  if (!registry.Contains(camera.get())) {
    counters.Drop(PictureDrop::kCameraDeleted);
    return;
  }
  PictureCallback callback = camera->GetPictureCallback();
  if (callback == nullptr) {
    counters.Drop(PictureDrop::kNoCallback);
    return;
  }
  // What did not arrive of the record reads as zero, never as bytes of an
  // earlier picture.
  if (received < picture::kRecordEnd) std::memset(buffer_.get() + received, 0, picture::kRecordEnd - received);
  int32_t value = 0;
  PictureInfo info = picture::ReadPictureInfo(buffer_.get(), framing.App1Length(), camera->Handle(), value);
  callback(reinterpret_cast<char*>(buffer_.get()), static_cast<int>(framing.TotalLength()), &info, value);
  Count(counters.picturesDelivered);
  Count(counters.pictureBytes, framing.TotalLength());
}

std::optional<PictureDrop> CRecvPicServerThread::ReceivePicture(ACE_SOCK_Stream& connection,
                                                                picture::PictureFraming& framing, size_t& received) {
  Stopwatch window;
  // Accepted connections inherit the listening socket's receive time-out of
  // one whole window.
  long timeoutSet = kWindowMs;
  for (;;) {
    const uint64_t elapsed = window.ElapsedMs();
    if (elapsed >= static_cast<uint64_t>(kWindowMs)) return PictureDrop::kTimeWindow;
    if (received >= picture::kMaxPicture) return PictureDrop::kOversize;
    // Blocking reads bounded by the socket's time-out, set again only when
    // the whole milliseconds left change: a large picture costs one system
    // call per segment, as in a plain receiver.
    const long left = kWindowMs - static_cast<long>(elapsed);
    if (left != timeoutSet) {
      timeval tv{left / 1000, (left % 1000) * 1000};
      if (connection.set_option(SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0) return PictureDrop::kClosedEarly;
      timeoutSet = left;
    }
    ssize_t n = ACE_OS::recv(connection.get_handle(), reinterpret_cast<char*>(buffer_.get()) + received,
                             picture::kMaxPicture - received, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return PictureDrop::kTimeWindow;
    if (n <= 0) return PictureDrop::kClosedEarly;  // an error, or the camera closed early
    received += static_cast<size_t>(n);
    switch (framing.Judge(buffer_.get(), received)) {
      case picture::PictureFraming::State::kComplete:
        return std::nullopt;
      case picture::PictureFraming::State::kBad:
        return framing.BadReason();
      case picture::PictureFraming::State::kNeedMore:
        break;
    }
  }
}

}  // namespace vkt
