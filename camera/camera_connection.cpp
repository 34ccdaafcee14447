#include "camera/camera_connection.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <ace/ACE.h>
#include <ace/Flag_Manip.h>

#include <cerrno>

namespace vkt {
namespace {

IoResult FromErrno() { return errno == ETIME || errno == ETIMEDOUT ? IoResult::kTimeout : IoResult::kFailed; }

}  // namespace

IoResult Link::Connect(const ACE_INET_Addr& camera, const ACE_Time_Value& timeout) {
  if (connected_) return IoResult::kOk;
  Close();
  ACE_SOCK_Connector connector;
  ACE_INET_Addr any(static_cast<u_short>(0), static_cast<ACE_UINT32>(INADDR_ANY));
  if (connector.connect(stream_, camera, &timeout, any, 0) != 0) {
    IoResult result = FromErrno();
    stream_.close();
    return result;
  }
  connected_ = true;
  // Requests are small and must leave at once.
  int on = 1;
  (void)stream_.set_option(IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  // Every transfer is bounded by its own time-out, so the socket stays
  // non-blocking: the bounded transfers then need no mode switch each time.
  (void)ACE::set_flags(stream_.get_handle(), ACE_NONBLOCK);
  return IoResult::kOk;
}

IoResult Link::SendAll(const void* data, size_t length, const ACE_Time_Value& timeout) {
  size_t sent = 0;
  ssize_t n = ACE::send_n(stream_.get_handle(), data, length, MSG_NOSIGNAL, &timeout, &sent);
  if (n >= 0 && sent == length) return IoResult::kOk;
  return n < 0 ? FromErrno() : IoResult::kFailed;
}

IoResult Link::ReceiveAll(void* data, size_t length, const ACE_Time_Value& timeout) {
  size_t received = 0;
  ssize_t n = ACE::recv_n(stream_.get_handle(), data, length, 0, &timeout, &received);
  if (n >= 0 && received == length) return IoResult::kOk;
  // 0: the camera closed the connection.
  return n < 0 ? FromErrno() : IoResult::kFailed;
}

void Link::Close() {
  if (stream_.get_handle() != ACE_INVALID_HANDLE) {
    stream_.close_reader();
    stream_.close_writer();
    stream_.close();
  }
  connected_ = false;
}

ACE_INET_Addr Link::LocalAddress() const {
  ACE_INET_Addr local;
  stream_.get_local_addr(local);
  return local;
}

}  // namespace vkt
