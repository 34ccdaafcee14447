#include "stop_request.h"

#include <pthread.h>

#include <ctime>

namespace vktcli {

void StopRequest::Request() {
  {
    std::lock_guard lock(mutex_);
    requested_ = true;
  }
  changed_.notify_all();
}

bool StopRequest::Requested() const {
  std::lock_guard lock(mutex_);
  return requested_;
}

bool StopRequest::WaitUntil(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  return changed_.wait_until(lock, deadline, [this] { return requested_; });
}

StopOnSignals::StopOnSignals(StopRequest& stop) {
  sigemptyset(&signals_);
  sigaddset(&signals_, SIGINT);
  sigaddset(&signals_, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals_, &previousMask_);
  watcher_ = std::thread([this, &stop] { Watch(stop); });
}

StopOnSignals::~StopOnSignals() {
  finishing_.store(true);
  // A signal aimed at the watcher itself ends its sigwait.
  pthread_kill(watcher_.native_handle(), SIGTERM);
  watcher_.join();
  // A second Ctrl-C while stopping would otherwise end the process as soon
  // as the mask is restored.
  const timespec noWait{};
  while (sigtimedwait(&signals_, nullptr, &noWait) > 0) {
  }
  pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

void StopOnSignals::Watch(StopRequest& stop) {
  for (;;) {
    int signal = 0;
    if (sigwait(&signals_, &signal) != 0) return;  // only for a bad set
    if (finishing_.load()) return;
    // Later signals are taken too and change nothing: stopping is under way.
    stop.Request();
  }
}

}  // namespace vktcli
