// The picture listening socket and the pool of receivers behind it.
#pragma once

#include <ace/INET_Addr.h>
#include <ace/SOCK_Acceptor.h>
#include <ace/SOCK_Stream.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace vkt {

class CRecvPicServerThread;

class PictureReceiver {
 public:
  static constexpr uint16_t kDefaultPort = 34660;

  PictureReceiver();
  ~PictureReceiver();  // stops first
  PictureReceiver(const PictureReceiver&) = delete;
  PictureReceiver& operator=(const PictureReceiver&) = delete;

  // Opens the listening socket on `port` of any local address, or on a port
  // of the system's choosing when `port` is taken, then starts `workers`
  // receivers. False when a receiver thread could not be started; those
  // already started are stopped again.
  bool Start(uint16_t port, int workers);
  // Stops and joins every receiver and closes the listening socket.
  // Idempotent. Must not run on a receiver thread.
  void Stop();

  // The address actually bound (port 0 when no socket could be opened).
  ACE_INET_Addr ListenAddress() const { return listenAddress_; }
  uint16_t ListenPort() const { return static_cast<uint16_t>(listenAddress_.get_port_number()); }

  // For the receivers.
  bool Stopping() const { return stopping_.load(std::memory_order_acquire); }
  // Accepts one connection. False when stopping or
  // when accept failed (after a short pause, so a broken socket never makes
  // the receivers spin).
  bool Accept(ACE_SOCK_Stream& connection, ACE_INET_Addr& peer);

 private:
  void PauseUnlessStopping(std::chrono::milliseconds pause);

  ACE_SOCK_Acceptor acceptor_;
  bool listening_ = false;
  ACE_INET_Addr listenAddress_;
  std::atomic<bool> stopping_{false};
  std::mutex pauseMutex_;
  std::condition_variable pauseCv_;
  std::vector<std::unique_ptr<CRecvPicServerThread>> workers_;
};

}  // namespace vkt
