#include "command_server.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

#include "tcp_listener.h"

namespace vktemu {
namespace {

constexpr size_t kMaxConnections = 64;
// Upper bound on one poll(): the loop re-checks its stop flag at least this
// often even if a wake-up were lost.
constexpr int kMaxPollMs = 1000;
constexpr int kMaxAcceptsPerWake = 64;

}  // namespace

CommandServer::CommandServer(std::shared_ptr<Camera> camera, const CommandTable& commands)
    : camera_(std::move(camera)), commands_(commands) {}

CommandServer::~CommandServer() { stop(); }

bool CommandServer::start(std::string* error) {
  std::lock_guard lifecycle(lifecycleMutex_);
  if (thread_.joinable()) {
    if (error) *error = "already running";
    return false;
  }
  if (!wake_.open(error)) return false;
  if (listening_ && !openListener(error)) {
    wake_.close();
    return false;
  }
  {
    std::lock_guard lock(tasksMutex_);
    loopExited_ = false;
  }
  stopRequested_ = false;
  thread_ = std::thread([this] { run(); });
  return true;
}

void CommandServer::stop() {
  std::lock_guard lifecycle(lifecycleMutex_);
  if (!thread_.joinable()) return;
  stopRequested_ = true;
  wake_.signal();
  thread_.join();
  closeConnections();
  listener_.reset();
  wake_.close();
}

void CommandServer::setListening(bool listening) {
  std::lock_guard lifecycle(lifecycleMutex_);
  const bool running = thread_.joinable();
  inLoop([&] {
    listening_ = listening;
    if (!listening) {
      listener_.reset();
      closeConnections();
    } else if (running && !listener_.valid()) {
      // Nobody to tell about a failure here: the camera stays unreachable,
      // as it would on a network where its address is taken.
      openListener(nullptr);
    }
  });
}

void CommandServer::followAddress() {
  std::lock_guard lifecycle(lifecycleMutex_);
  if (!thread_.joinable()) return;  // start() binds whatever the address is then
  inLoop([&] {
    if (!listening_ || (listener_.valid() && boundAddress_ == camera_->address())) return;
    // A camera that moves drops its connections, as a real one does.
    listener_.reset();
    closeConnections();
    openListener(nullptr);
  });
}

void CommandServer::dropConnections() {
  std::lock_guard lifecycle(lifecycleMutex_);
  inLoop([&] { closeConnections(); });
}

// Caller holds lifecycleMutex_. While the loop runs it alone touches the
// loop state, so the task goes to it and the caller waits until it ran.
void CommandServer::inLoop(const std::function<void()>& task) {
  if (!thread_.joinable()) {
    task();
    return;
  }
  std::unique_lock lock(tasksMutex_);
  if (loopExited_) {
    lock.unlock();
    task();
    return;
  }
  const uint64_t ticket = ++tasksQueued_;
  tasks_.push_back(task);
  wake_.signal();
  tasksDone_.wait(lock, [&] { return tasksRun_ >= ticket; });
}

void CommandServer::runTasks() {
  std::deque<std::function<void()>> tasks;
  {
    std::lock_guard lock(tasksMutex_);
    tasks.swap(tasks_);
  }
  if (tasks.empty()) return;
  for (const auto& task : tasks) task();
  {
    std::lock_guard lock(tasksMutex_);
    tasksRun_ += tasks.size();
  }
  tasksDone_.notify_all();
}

bool CommandServer::openListener(std::string* error) {
  const wire::Ipv4 address = camera_->address();
  listener_ = listenTcp(address, camera_->commandPort(), error);
  boundAddress_ = address;
  return listener_.valid();
}

// The count drops before the sockets close, so a client that sees its
// connection end also sees it counted gone.
void CommandServer::closeConnections() {
  open_ = 0;
  connections_.clear();
}

void CommandServer::run() {
  std::vector<pollfd> fds;
  while (!stopRequested_) {
    runTasks();
    // Replies that fell due while waiting; connections that are done go.
    const auto now = Clock::now();
    std::erase_if(connections_, [&](const auto& connection) {
      if (connection->send(now)) return false;
      --open_;
      return true;
    });

    fds.clear();
    fds.push_back({wake_.fd(), POLLIN, 0});
    fds.push_back({listener_.get(), POLLIN, 0});  // ignored by poll() when closed (-1)
    for (const auto& connection : connections_) fds.push_back({connection->fd(), connection->pollEvents(), 0});
    const int ready = ::poll(fds.data(), fds.size(), pollTimeoutMs(Clock::now()));
    if (ready < 0) {
      if (errno != EINTR) break;
      continue;
    }
    if (fds[0].revents != 0) {
      // Tasks and the stop flag are seen at the top of the loop; the other
      // events are still pending there.
      wake_.drain();
      continue;
    }
    serveConnections(fds);
    if (fds[1].revents != 0) acceptWaiting();
  }
  // Anyone still waiting on a task gets it run before the state is handed back.
  runTasks();
  std::lock_guard lock(tasksMutex_);
  loopExited_ = true;
}

void CommandServer::serveConnections(const std::vector<pollfd>& fds) {
  std::vector<std::unique_ptr<CommandConnection>> kept;
  kept.reserve(connections_.size());
  bool moved = false;
  for (size_t i = 0; i < connections_.size(); ++i) {
    auto& connection = connections_[i];
    if (stopRequested_) {
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
    connections_.push_back(std::make_unique<CommandConnection>(std::move(fd), nextSerial_++, dottedAddress(peer)));
    ++accepted_;
    ++open_;
  }
}

int CommandServer::pollTimeoutMs(Clock::time_point now) const {
  auto next = now + std::chrono::milliseconds(kMaxPollMs);
  for (const auto& connection : connections_) {
    if (connection->hasWaitingRequest()) return 0;
    if (const auto due = connection->nextDue()) next = std::min(next, *due);
  }
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
  return static_cast<int>(std::clamp<decltype(wait)>(wait, 0, kMaxPollMs));
}

}  // namespace vktemu
