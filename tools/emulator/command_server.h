// One camera's TCP command channel: listens on the camera's address and
// command port and serves every connection to it.
//
// One thread per camera owns the listener and the connections and never
// blocks on any of them; delayed replies wait in each connection's queue
// and poll() time-outs follow the next due time. Changes asked for from
// other threads (listen on/off, new address, drop connections) are handed
// to that thread and waited for, so when the call returns they are done.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "camera.h"
#include "command_connection.h"
#include "command_handlers.h"
#include "worker.h"

namespace vktemu {

class CommandServer {
 public:
  CommandServer(std::shared_ptr<Camera> camera, const CommandTable& commands);
  ~CommandServer() { stop(); }

  // Opens the command port (unless listening was switched off) and starts
  // the thread. False with a message naming address:port when it cannot.
  bool start(std::string* error);
  void stop();  // closes the listener and every connection; drops pending replies

  void setListening(bool listening);  // off also drops the connections
  void followAddress();               // after a change-IP: listen on the camera's new address
  void dropConnections();

  const Camera* camera() const { return camera_.get(); }
  size_t connectionCount() const { return accepted_; }
  size_t openConnectionCount() const { return open_; }

 private:
  void run(std::stop_token stop);
  bool openListener(std::string* error);
  bool followMovedCamera();
  void closeConnections();
  void acceptWaiting();
  void serveConnections(const std::vector<pollfd>& fds, std::stop_token stop);
  int pollTimeoutMs() const;

  const std::shared_ptr<Camera> camera_;
  const CommandTable& commands_;
  Worker worker_;

  // The loop's while it runs (changes reach it through worker_.call()).
  bool listening_ = true;
  UniqueFd listener_;
  wire::Ipv4 boundAddress_{};
  std::vector<std::unique_ptr<CommandConnection>> connections_;
  int nextSerial_ = 1;

  std::atomic<size_t> accepted_{0};
  std::atomic<size_t> open_{0};
};

}  // namespace vktemu
