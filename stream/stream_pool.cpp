#include "stream/stream_pool.h"

#include <algorithm>

#include "stream/recv_stream_thread.h"

namespace vkt {

StreamPool::StreamPool() = default;

StreamPool::~StreamPool() { Stop(); }

bool StreamPool::Start(int workers) {
  std::vector<std::shared_ptr<CRecvStreamThread>> started;
  for (int i = 0; i < workers; ++i) {
    auto worker = std::make_shared<CRecvStreamThread>();
    worker->Open();  // a receiver without a socket still takes its place
    if (!worker->Start()) {
      for (auto& w : started) w->RequestStop();
      for (auto& w : started) w->Join();
      return false;
    }
    started.push_back(std::move(worker));
  }
  std::lock_guard<std::mutex> lock(lock_);
  workers_ = started;
  idle_ = std::move(started);
  return true;
}

void StreamPool::Stop() {
  std::vector<std::shared_ptr<CRecvStreamThread>> all;
  {
    std::lock_guard<std::mutex> lock(lock_);
    all.swap(workers_);
    idle_.clear();
  }
  // Raise every flag first so the receivers wind down together.
  for (auto& worker : all) worker->RequestStop();
  for (auto& worker : all) worker->Join();
}

std::shared_ptr<CRecvStreamThread> StreamPool::Take() {
  std::lock_guard<std::mutex> lock(lock_);
  if (idle_.empty()) return nullptr;
  auto worker = std::move(idle_.back());
  idle_.pop_back();
  return worker;
}

void StreamPool::Give(std::shared_ptr<CRecvStreamThread> worker) {
  std::lock_guard<std::mutex> lock(lock_);
  if (std::find(workers_.begin(), workers_.end(), worker) == workers_.end()) return;
  idle_.push_back(std::move(worker));
}

size_t StreamPool::Size() {
  std::lock_guard<std::mutex> lock(lock_);
  return workers_.size();
}

size_t StreamPool::IdleCount() {
  std::lock_guard<std::mutex> lock(lock_);
  return idle_.size();
}

std::shared_ptr<CRecvStreamThread> StreamPool::Worker(size_t i) {
  std::lock_guard<std::mutex> lock(lock_);
  return i < workers_.size() ? workers_[i] : nullptr;
}

}  // namespace vkt
