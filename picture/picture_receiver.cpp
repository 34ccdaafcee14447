#include "picture/picture_receiver.h"

#include <sys/socket.h>

#include <chrono>

#include "picture/recv_pic_server_thread.h"

namespace vkt {

PictureReceiver::PictureReceiver() : listenAddress_(static_cast<u_short>(0), static_cast<ACE_UINT32>(INADDR_ANY)) {}

PictureReceiver::~PictureReceiver() { Stop(); }

bool PictureReceiver::Start(uint16_t port, int workers) {
  stopping_.store(false, std::memory_order_release);
  ACE_INET_Addr wanted(port, static_cast<ACE_UINT32>(INADDR_ANY));
  listening_ = acceptor_.open(wanted, 1, PF_INET, SOMAXCONN) == 0;
  if (!listening_) {
    // The port is taken: listen wherever the system lets us and announce
    // that port instead.
    ACE_INET_Addr any(static_cast<u_short>(0), static_cast<ACE_UINT32>(INADDR_ANY));
    listening_ = acceptor_.open(any, 1, PF_INET, SOMAXCONN) == 0;
  }
  if (listening_) {
    acceptor_.get_local_addr(listenAddress_);
    // Every accepted connection starts with a receive time-out of one
    // picture window, so reading a picture needs no option set per picture.
    timeval window{CRecvPicServerThread::kWindowMs / 1000, (CRecvPicServerThread::kWindowMs % 1000) * 1000};
    (void)acceptor_.set_option(SOL_SOCKET, SO_RCVTIMEO, &window, sizeof window);
  }

  for (int i = 0; i < workers; ++i) {
    auto worker = std::make_unique<CRecvPicServerThread>(*this);
    if (worker->activate(THR_NEW_LWP | THR_JOINABLE, 1) != 0) {
      Stop();
      return false;
    }
    workers_.push_back(std::move(worker));
  }
  return true;
}

void PictureReceiver::Stop() {
  stopping_.store(true, std::memory_order_release);
  {
    std::lock_guard<std::mutex> lock(pauseMutex_);
    pauseCv_.notify_all();
  }
  // Shutting the listening socket down wakes the receiver blocked in accept;
  // the others see the stop flag as soon as they get the acceptor lock.
  if (listening_) ::shutdown(acceptor_.get_handle(), SHUT_RDWR);
  // And a receiver reading a slow sender's picture is cut short.
  for (auto& worker : workers_) worker->Interrupt();
  for (auto& worker : workers_) worker->wait();
  workers_.clear();
  if (listening_) {
    acceptor_.close();
    listening_ = false;
  }
}

bool PictureReceiver::Accept(ACE_SOCK_Stream& connection, ACE_INET_Addr& peer) {
  if (!listening_) {
    // Nothing to accept on: wait for the stop.
    PauseUnlessStopping(std::chrono::hours(1));
    return false;
  }
  // All receivers wait in accept together: the kernel hands each connection
  // to exactly one of them, and a receiver that finishes a picture is ready
  // for the next at once instead of queuing for a lock.
  if (Stopping()) return false;
  const int result = acceptor_.accept(connection, &peer, nullptr, true);
  if (result == 0) return true;
  if (!Stopping()) PauseUnlessStopping(std::chrono::milliseconds(10));
  return false;
}

void PictureReceiver::PauseUnlessStopping(std::chrono::milliseconds pause) {
  std::unique_lock<std::mutex> lock(pauseMutex_);
  pauseCv_.wait_for(lock, pause, [this] { return Stopping(); });
}

}  // namespace vkt
