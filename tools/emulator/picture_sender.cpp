#include "picture_sender.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "worker.h"

namespace vktemu {
namespace {

enum class Wait { kReady, kTimedOut, kWoken };

// Waits for `events` on fd (or only for the wake descriptor when fd < 0).
Wait waitFor(int fd, short events, std::chrono::milliseconds timeout, int wakeFd) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    pollfd fds[2] = {{wakeFd, POLLIN, 0}, {fd, events, 0}};
    const int ready = ::poll(fds, fd >= 0 ? 2 : 1, pollTimeoutMs(deadline));
    if (ready < 0 && errno != EINTR) return Wait::kWoken;  // nothing sensible left to wait for
    if (fds[0].revents != 0) return Wait::kWoken;
    if (ready > 0 && fds[1].revents != 0) return Wait::kReady;
    if (Clock::now() >= deadline) return Wait::kTimedOut;
  }
}

bool connectFrom(const SendPlan& plan, int wakeFd, SendOutcome& outcome) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return outcome.error = callFailed("socket"), false;
  // The port is picked at connect time, so many short pushes from one
  // address do not run out of ports held in TIME_WAIT.
  const int on = 1;
  ::setsockopt(fd.get(), IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &on, sizeof on);
  // Before connect, so the window the handshake offers already fits it.
  if (plan.sendBufferBytes > 0 &&
      ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDBUF, &plan.sendBufferBytes, sizeof plan.sendBufferBytes) != 0)
    return outcome.error = callFailed("SO_SNDBUF"), false;
  const sockaddr_in local = socketAddress(plan.from, 0);
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
    return outcome.error = callFailed("bind " + wire::formatIpv4(plan.from)), false;
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&plan.to), sizeof plan.to) != 0) {
    if (errno != EINPROGRESS) return outcome.error = callFailed("connect"), false;
    const Wait wait = waitFor(fd.get(), POLLOUT, plan.connectTimeout, wakeFd);
    if (wait == Wait::kWoken) return outcome.error = "stopped", false;
    if (wait == Wait::kTimedOut) return outcome.error = "connect: timed out", false;
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &length);
    if (error != 0) return outcome.error = std::string("connect: ") + std::strerror(error), false;
  }
  outcome.connection = std::move(fd);
  return true;
}

bool sendAll(std::span<const uint8_t> bytes, const SendPlan& plan, int wakeFd, SendOutcome& outcome) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(outcome.connection.get(), bytes.data() + done, bytes.size() - done,
                             MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<size_t>(n);
      outcome.sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return outcome.error = callFailed("send"), false;
    const Wait wait = waitFor(outcome.connection.get(), POLLOUT, plan.stallTimeout, wakeFd);
    if (wait == Wait::kWoken) return outcome.error = "stopped", false;
    if (wait == Wait::kTimedOut) return outcome.error = "send: the receiver took nothing for too long", false;
  }
  return true;
}

}  // namespace

SendOutcome sendPicture(const SendPlan& plan, std::span<const uint8_t> bytes, int wakeFd) {
  SendOutcome outcome;
  if (!connectFrom(plan, wakeFd, outcome)) return outcome;
  const size_t chunk = plan.chunkBytes == 0 ? bytes.size() : plan.chunkBytes;
  for (size_t at = 0; at < bytes.size(); at += chunk) {
    if (at > 0 && plan.chunkDelay.count() > 0 && waitFor(-1, 0, plan.chunkDelay, wakeFd) == Wait::kWoken) {
      outcome.error = "stopped";
      return outcome;
    }
    if (!sendAll(bytes.subspan(at, std::min(chunk, bytes.size() - at)), plan, wakeFd, outcome)) return outcome;
  }
  outcome.done = true;
  return outcome;
}

}  // namespace vktemu
