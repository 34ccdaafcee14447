#include "traffic_log.h"

namespace vktemu {

void TrafficLog::record(ReceivedDatagram datagram, bool isProbe) {
  {
    std::lock_guard lock(mutex_);
    if (kept_.size() < kMaxKept) kept_.push_back(std::move(datagram));
    ++datagrams_;
    if (isProbe) ++probes_;
  }
  changed_.notify_all();
}

std::vector<ReceivedDatagram> TrafficLog::datagrams() const {
  std::lock_guard lock(mutex_);
  return kept_;
}

void TrafficLog::clear() {
  std::lock_guard lock(mutex_);
  kept_.clear();
  probes_ = 0;
  datagrams_ = 0;
}

size_t TrafficLog::probeCount() const {
  std::lock_guard lock(mutex_);
  return probes_;
}

size_t TrafficLog::datagramCount() const {
  std::lock_guard lock(mutex_);
  return datagrams_;
}

bool TrafficLog::waitForProbes(size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return probes_ >= n; });
}

bool TrafficLog::waitForDatagrams(size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return datagrams_ >= n; });
}

}  // namespace vktemu
