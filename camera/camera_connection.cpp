#include "camera/camera_connection.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <ace/ACE.h>
#include <ace/Flag_Manip.h>
#include <ace/OS_NS_sys_socket.h>

#include <cerrno>
#include <chrono>

namespace vkt {
namespace {

IoResult FromErrno() { return errno == ETIME || errno == ETIMEDOUT ? IoResult::kTimeout : IoResult::kFailed; }

}  // namespace

IoResult Link::Connect(const ACE_INET_Addr& camera, const ACE_Time_Value& timeout) {
  if (connected_) return IoResult::kOk;
  Close();
  ACE_SOCK_Connector connector;
  // No local address: the system picks one, without a bind call first.
  if (connector.connect(stream_, camera, &timeout) != 0) {
    IoResult result = FromErrno();
    stream_.close();
    return result;
  }
  connected_ = true;
  // Requests are small and must leave at once.
  int on = 1;
  (void)stream_.set_option(IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  // The connect may leave the socket non-blocking; transfers block, bounded
  // by the socket's time-outs.
  (void)ACE::clr_flags(stream_.get_handle(), ACE_NONBLOCK);
  sendTimeoutMs_ = receiveTimeoutMs_ = -1;
  return IoResult::kOk;
}

namespace {

using MonoClock = std::chrono::steady_clock;

MonoClock::time_point Deadline(const ACE_Time_Value& timeout) {
  return MonoClock::now() + std::chrono::microseconds(static_cast<long long>(timeout.sec()) * 1000000 + timeout.usec());
}

// Whole milliseconds left until `deadline`, at least 1 (0 would mean "no
// time-out" to the socket).
long MsLeft(MonoClock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - MonoClock::now()).count();
  return left < 1 ? 1 : static_cast<long>(left);
}

}  // namespace

// Transfers block, bounded by the socket's own receive and send time-outs.
// A command's budget is nearly the same from one call to the next, so the
// time-out is set again only when its whole milliseconds change: in the
// steady state a round trip costs one send and one receive, like a plain
// blocking client.
bool Link::BoundWait(int option, long& current, MonoClock::time_point deadline) {
  if (MonoClock::now() >= deadline) return false;
  long ms = MsLeft(deadline);
  if (ms != current) {
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    if (stream_.set_option(SOL_SOCKET, option, &tv, sizeof tv) != 0) return false;
    current = ms;
  }
  return true;
}

IoResult Link::SendAll(const void* data, size_t length, const ACE_Time_Value& timeout) {
  const auto deadline = Deadline(timeout);
  const auto* bytes = static_cast<const char*>(data);
  size_t sent = 0;
  while (sent < length) {
    if (!BoundWait(SO_SNDTIMEO, sendTimeoutMs_, deadline)) return IoResult::kTimeout;
    ssize_t n = ACE_OS::send(stream_.get_handle(), bytes + sent, length - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      return IoResult::kFailed;
    }
  }
  return IoResult::kOk;
}

IoResult Link::ReceiveAll(void* data, size_t length, const ACE_Time_Value& timeout) {
  const auto deadline = Deadline(timeout);
  auto* bytes = static_cast<char*>(data);
  size_t received = 0;
  while (received < length) {
    if (!BoundWait(SO_RCVTIMEO, receiveTimeoutMs_, deadline)) return IoResult::kTimeout;
    ssize_t n = ACE_OS::recv(stream_.get_handle(), bytes + received, length - received, 0);
    if (n > 0) {
      received += static_cast<size_t>(n);
    } else if (n == 0) {
      return IoResult::kFailed;  // the camera closed the connection
    } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      return IoResult::kFailed;
    }
    // EAGAIN: the socket's time-out ran out; the loop sees whether the
    // deadline did too.
  }
  return IoResult::kOk;
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
