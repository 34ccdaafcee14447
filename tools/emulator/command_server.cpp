#include "command_server.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>


namespace vktemu {
namespace {

constexpr size_t kMaxConnections = 64;
constexpr int kBacklog = 64;
constexpr int kMaxAcceptsPerWake = 64;

}  // namespace

CommandServer::CommandServer(std::shared_ptr<Camera> camera, const CommandTable& commands)
    : camera_(std::move(camera)), commands_(commands) {}

bool CommandServer::start(std::string* error) {
  return worker_.start(
      error, [&](std::string* why) { return !listening_ || openListener(why); },
      [this](std::stop_token stop) { run(stop); });
}

void CommandServer::stop() {
  worker_.stop([this] {
    closeConnections();
    listener_.reset();
  });
}

void CommandServer::setListening(bool listening) {
  worker_.call([&] {
    listening_ = listening;
    if (!listening) {
      listener_.reset();
      closeConnections();
    } else if (worker_.running() && !listener_.valid()) {
      // Nobody to tell about a failure here: the camera stays unreachable,
      // as it would on a network where its address is taken.
      openListener(nullptr);
    }
  });
}

void CommandServer::followAddress() {
  worker_.call([&] {
    // Not running: start() binds whatever the address is then.
    if (!worker_.running() || !listening_ || (listener_.valid() && boundAddress_ == camera_->address())) return;
    // A camera that moves drops its connections, as a real one does.
    listener_.reset();
    closeConnections();
    openListener(nullptr);
  });
}

void CommandServer::dropConnections() {
  worker_.call([&] { closeConnections(); });
}

bool CommandServer::openListener(std::string* error) {
  const wire::Ipv4 address = camera_->address();
  const uint16_t port = camera_->commandPort();
  std::string_view failed;
  listener_ = listenTcp(socketAddress(address, port), kBacklog, failed);
  boundAddress_ = address;
  if (!listener_.valid() && error)
    *error = callFailed(wire::formatIpv4(address) + ":" + std::to_string(port) + ": " + std::string(failed));
  return listener_.valid();
}

// The count drops before the sockets close, so a client that sees its
// connection end also sees it counted gone.
void CommandServer::closeConnections() {
  open_ = 0;
  connections_.clear();
}

void CommandServer::run(std::stop_token stop) {
  std::vector<pollfd> fds;
  while (!stop.stop_requested()) {
    worker_.serveCalls();
    // Replies that fell due while waiting; connections that are done go.
    const auto now = Clock::now();
    std::erase_if(connections_, [&](const auto& connection) {
      if (connection->send(now)) return false;
      --open_;
      return true;
    });

    fds.clear();
    fds.push_back({worker_.wakeFd(), POLLIN, 0});
    fds.push_back({listener_.get(), POLLIN, 0});  // ignored by poll() when closed (-1)
    for (const auto& connection : connections_) fds.push_back({connection->fd(), connection->pollEvents(), 0});
    const int ready = ::poll(fds.data(), fds.size(), pollTimeoutMs());
    if (ready < 0) {
      if (errno != EINTR) break;
      continue;
    }
    if (fds[0].revents != 0) {
      // Calls and the stop are seen at the top of the loop; the other
      // events are still pending there.
      worker_.drain();
      continue;
    }
    serveConnections(fds, stop);
    if (fds[1].revents != 0) acceptWaiting();
  }
}

void CommandServer::serveConnections(const std::vector<pollfd>& fds, std::stop_token stop) {
  std::vector<std::unique_ptr<CommandConnection>> kept;
  kept.reserve(connections_.size());
  bool moved = false;
  for (size_t i = 0; i < connections_.size(); ++i) {
    auto& connection = connections_[i];
    if (stop.stop_requested()) {
      kept.push_back(std::move(connection));
      continue;
    }
    const short events = fds[i + 2].revents;
    bool alive = true;
    if ((events & (POLLIN | POLLHUP | POLLERR)) || connection->hasWaitingRequest()) {
      alive = connection->receive(*camera_, commands_);
      moved = followMovedCamera() || moved;
      // Replies already due still go out before a connection is closed for
      // a bad request.
      if (!alive) connection->send(Clock::now());
    }
    if (alive) alive = connection->send(Clock::now());
    if (alive) {
      kept.push_back(std::move(connection));
    } else {
      --open_;
    }
  }
  connections_ = std::move(kept);
  if (moved) {
    // Connections to the old address are dead; those still owing the reply
    // that moved the camera end once it is out.
    std::erase_if(connections_, [&](const auto& connection) {
      if (connection->ending()) return false;
      --open_;
      return true;
    });
  }
}

// A request just handled (a network Set) may have moved the camera: listen
// at the new address before its reply goes out, so a client that heard it
// can connect there at once. An address that cannot be bound leaves the
// camera unreachable, as after a change-IP.
bool CommandServer::followMovedCamera() {
  if (!listening_ || boundAddress_ == camera_->address()) return false;
  listener_.reset();
  openListener(nullptr);
  return true;
}

void CommandServer::acceptWaiting() {
  for (int i = 0; i < kMaxAcceptsPerWake; ++i) {
    sockaddr_in peer{};
    UniqueFd fd = acceptTcp(listener_.get(), peer);
    if (!fd.valid()) return;
    // Over the cap a client is turned away: the connection closes at once.
    if (connections_.size() >= kMaxConnections) continue;
    connections_.push_back(
        std::make_unique<CommandConnection>(std::move(fd), nextSerial_++, dotted(peer.sin_addr.s_addr)));
    ++accepted_;
    ++open_;
  }
}

int CommandServer::pollTimeoutMs() const {
  auto next = Clock::time_point::max();
  for (const auto& connection : connections_) {
    if (connection->hasWaitingRequest()) return 0;
    if (const auto due = connection->nextDue()) next = std::min(next, *due);
  }
  return vktemu::pollTimeoutMs(next);
}

}  // namespace vktemu
