// One stream receiver: a UDP socket on a port of the system's choosing and
// the thread that reads it.
#pragma once

#include <ace/INET_Addr.h>
#include <ace/SOCK_Dgram.h>
#include <ace/Task.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace vkt {

class CRecvStreamThread : public ACE_Task_Base {
 public:
  static constexpr int kPacketSize = 1024;
  static constexpr int kSocketBufferSize = 4 * 1024 * 1024;

  CRecvStreamThread();
  ~CRecvStreamThread() override;  // closes the socket; the thread must be joined

  // Opens the socket. False (last error VKT_ERR_GENERAL) when its local
  // address cannot be read; the receiver then has no socket and only waits
  // for its stop.
  bool Open();
  // Starts the thread.
  bool Start();
  // Raises the stop flag and wakes the thread; Join() then waits for it.
  void RequestStop();
  void Join();

  bool HasSocket() const { return socketOpen_; }
  uint16_t LocalPort() const { return static_cast<uint16_t>(localAddress_.get_port_number()); }

  int svc() override;

 private:
  bool Stopping() const { return stopping_.load(std::memory_order_acquire); }

  ACE_SOCK_Dgram socket_;
  bool socketOpen_ = false;
  ACE_INET_Addr localAddress_;
  std::atomic<bool> stopping_{false};
  bool started_ = false;
  std::mutex stopMutex_;
  std::condition_variable stopCv_;
};

}  // namespace vkt
