// The stream receivers. The pool itself lives as long as the process (a
// start racing a close must never touch a freed pool); its receivers are
// created at start and stopped at close. Idle receivers are handed out last
// in, first out.
#pragma once

#include <memory>
#include <mutex>
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
  // Stops and joins every receiver; the idle list is emptied. Idempotent.
  // Must not run on a receiver. Receivers still held by cameras stay alive
  // (stopped) until the cameras let go of them.
  void Stop();

  // An idle receiver, or null when all are in use (or the pool is stopped).
  std::shared_ptr<CRecvStreamThread> Take();
  // Back to the idle list (ignored when the pool was stopped since).
  void Give(std::shared_ptr<CRecvStreamThread> worker);

  size_t Size();
  size_t IdleCount();
  std::shared_ptr<CRecvStreamThread> Worker(size_t i);

 private:
  std::mutex lock_;  // the pool lock
  std::vector<std::shared_ptr<CRecvStreamThread>> workers_;  // all, in creation order
  std::vector<std::shared_ptr<CRecvStreamThread>> idle_;
};

}  // namespace vkt
