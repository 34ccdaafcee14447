// The stream receivers, created at start and stopped at close.
#pragma once

#include <memory>
#include <vector>

namespace vkt {

class CRecvStreamThread;

class StreamPool {
 public:
  StreamPool();
  ~StreamPool();  // stops first
  StreamPool(const StreamPool&) = delete;
  StreamPool& operator=(const StreamPool&) = delete;

  // Creates and starts `workers` receivers. False when a thread could not be
  // started; those already started are stopped again.
  bool Start(int workers);
  // Stops and joins every receiver. Idempotent. Must not run on a receiver.
  void Stop();

  size_t Size() const { return workers_.size(); }
  const CRecvStreamThread& Worker(size_t i) const { return *workers_[i]; }

 private:
  std::vector<std::unique_ptr<CRecvStreamThread>> workers_;
};

}  // namespace vkt
