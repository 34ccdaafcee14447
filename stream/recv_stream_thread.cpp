#include "stream/recv_stream_thread.h"

#include <sys/socket.h>

#include "api/last_error.h"
#include "api/library_thread.h"

namespace vkt {

CRecvStreamThread::CRecvStreamThread()
    : localAddress_(static_cast<u_short>(0), static_cast<ACE_UINT32>(INADDR_ANY)) {}

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
    std::lock_guard<std::mutex> lock(stopMutex_);
    stopCv_.notify_all();
  }
  // Shutting a datagram socket down makes a blocked receive return at once.
  if (socketOpen_) ::shutdown(socket_.get_handle(), SHUT_RDWR);
}

void CRecvStreamThread::Join() {
  if (started_) wait();
  started_ = false;
}

int CRecvStreamThread::svc() {
  EnterLibraryThread();
  if (!socketOpen_) {
    // No socket, nothing to receive: wait for the stop instead of spinning.
    std::unique_lock<std::mutex> lock(stopMutex_);
    stopCv_.wait(lock, [this] { return Stopping(); });
    return 0;
  }
  // One byte more than a packet, so an oversized datagram is seen as such.
  char packet[kPacketSize + 1];
  ACE_INET_Addr source;
  while (!Stopping()) {
    // No camera has a stream yet: every datagram is drained and dropped.
    (void)socket_.recv(packet, sizeof packet, source);
  }
  return 0;
}

}  // namespace vkt
