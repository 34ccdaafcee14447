#include "stream/stream_pool.h"

#include "stream/recv_stream_thread.h"

namespace vkt {

StreamPool::StreamPool() = default;

StreamPool::~StreamPool() { Stop(); }

bool StreamPool::Start(int workers) {
  for (int i = 0; i < workers; ++i) {
    auto worker = std::make_unique<CRecvStreamThread>();
    worker->Open();  // a receiver without a socket still takes its place
    if (!worker->Start()) {
      Stop();
      return false;
    }
    workers_.push_back(std::move(worker));
  }
  return true;
}

void StreamPool::Stop() {
  // Raise every flag first so the receivers wind down together.
  for (auto& worker : workers_) worker->RequestStop();
  for (auto& worker : workers_) worker->Join();
  workers_.clear();
}

}  // namespace vkt
