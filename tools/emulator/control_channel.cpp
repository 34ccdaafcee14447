#include "control_channel.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace vktemu {
namespace {

constexpr size_t kMaxClients = 16;
constexpr size_t kMaxLine = 4096;
constexpr int kBacklog = 8;
// A client that stops reading must not stall the emulator.
constexpr timeval kSendTimeout{1, 0};

bool sendAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t sent = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    text.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

}  // namespace

ControlChannel::ControlChannel(Handler handler) : handler_(std::move(handler)) {}

bool ControlChannel::start(uint16_t port, std::string* error) { return start("127.0.0.1", port, error); }

bool ControlChannel::start(const std::string& address, uint16_t port, std::string* error) {
  const auto ip = wire::parseIpv4(address);
  if (!ip) {
    if (error) *error = "bad address " + address;
    return false;
  }
  auto open = [&](std::string* why) {
    std::string_view failed;
    listener_ = listenTcp(socketAddress(*ip, port), kBacklog, failed);
    if (!listener_.valid() && why)
      *why = callFailed(failed == "bind" ? "bind " + address + ":" + std::to_string(port) : std::string(failed));
    return listener_.valid();
  };
  return worker_.start(error, open, [this](std::stop_token stop) { run(stop); });
}

void ControlChannel::stop() {
  worker_.stop([this] {
    clients_.clear();
    listener_.reset();
  });
}

void ControlChannel::run(std::stop_token stop) {
  std::vector<pollfd> fds;
  while (!stop.stop_requested()) {
    fds.clear();
    fds.push_back({worker_.wakeFd(), POLLIN, 0});
    fds.push_back({listener_.get(), POLLIN, 0});
    for (const Client& client : clients_) fds.push_back({client.fd.get(), POLLIN, 0});
    const int ready = ::poll(fds.data(), fds.size(), kMaxPollMs);
    if (ready < 0 && errno != EINTR) break;
    // Only a stop makes the wake descriptor readable.
    if (ready <= 0 || stop.stop_requested()) continue;
    // Serve the clients polled above before accepting, so indexes still match.
    std::vector<Client> kept;
    for (size_t i = 0; i < clients_.size(); ++i) {
      const short events = fds[i + 2].revents;
      if (events == 0 || serve(clients_[i])) kept.push_back(std::move(clients_[i]));
    }
    clients_ = std::move(kept);
    if (fds[1].revents != 0) accept();
  }
}

void ControlChannel::accept() {
  UniqueFd fd(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
  if (!fd.valid()) return;
  if (clients_.size() >= kMaxClients) {
    sendAll(fd.get(), "error too many connections\n");
    return;
  }
  ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &kSendTimeout, sizeof kSendTimeout);
  clients_.push_back(Client{std::move(fd), {}});
}

bool ControlChannel::serve(Client& client) {
  char buffer[1024];
  const ssize_t n = ::recv(client.fd.get(), buffer, sizeof buffer, MSG_DONTWAIT);
  if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
  if (n == 0) return false;
  client.input.append(buffer, static_cast<size_t>(n));
  size_t newline;
  while ((newline = client.input.find('\n')) != std::string::npos) {
    const std::string line = client.input.substr(0, newline);
    client.input.erase(0, newline + 1);
    if (!sendAll(client.fd.get(), handler_(line))) return false;
  }
  if (client.input.size() > kMaxLine) {
    sendAll(client.fd.get(), "error line too long\n");
    return false;
  }
  return true;
}

}  // namespace vktemu
