// One stream receiver: a UDP socket on a port of the system's choosing, a
// frame buffer, and the thread that reassembles the attached camera's frames
// and hands them to its stream callback.
#pragma once

#include <ace/INET_Addr.h>
#include <ace/SOCK_Dgram.h>
#include <ace/Task.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "VKTNetSDK11.h"
#include "stream/frame_assembler.h"

namespace vkt {

class CameraContext;

// The camera whose stream callback the calling thread is running, if any:
// starting, stopping or deleting that camera from inside its own callback
// would wait for the callback itself.
inline thread_local const CameraContext* t_streamCallbackCamera = nullptr;

class CRecvStreamThread : public ACE_Task_Base {
 public:
  static constexpr int kSocketBufferSize = 4 * 1024 * 1024;

  CRecvStreamThread();
  ~CRecvStreamThread() override;  // closes the socket; the thread must be joined

  // Opens the socket. False (last error VKT_ERR_GENERAL) when its local
  // address cannot be read; the receiver then has no socket, only waits for
  // its stop and never delivers.
  bool Open();
  bool Start();
  // Raises the stop flag and wakes the thread; Join() then waits for it.
  void RequestStop();
  void Join();

  bool HasSocket() const { return socketOpen_; }
  uint16_t LocalPort() const { return static_cast<uint16_t>(localAddress_.get_port_number()); }

  // Serves `camera` from now on: tells it this receiver's port and, for the
  // models that need it, to start sending. Under the receiver's lock.
  int Attach(const std::shared_ptr<CameraContext>& camera, uint32_t ms);
  // Stops serving: the models that need it are told to stop sending. Waits
  // for a callback that is running.
  void Detach(uint32_t ms);
  bool Attached();

  int svc() override;

 private:
  bool Stopping() const { return stopping_.load(std::memory_order_acquire); }
  void WaitForWake();
  void Deliver();

  ACE_SOCK_Dgram socket_;
  bool socketOpen_ = false;
  ACE_INET_Addr localAddress_;
  std::atomic<bool> stopping_{false};
  bool started_ = false;

  std::mutex lock_;  // the receiver's lock: camera, address, info; held while delivering
  std::shared_ptr<CameraContext> camera_;
  uint32_t cameraAddress_ = 0;  // host order
  uint32_t attachments_ = 0;    // changes with every attach, so a frame never spans two
  StreamInfo info_{};

  std::mutex wakeLock_;
  std::condition_variable wake_;
  bool wakeSignalled_ = false;  // auto-reset

  std::unique_ptr<uint8_t[]> buffer_;
  stream::FrameAssembler assembler_;
};

}  // namespace vkt
