// Plays every camera's side of the UDP discovery port: answers probes and
// change-IP requests, with the faults each camera was given.
//
// One thread owns the socket. Delayed answers and echoes wait in a queue
// served by the same loop (poll() time-outs follow the next due time), so a
// slow camera never holds up the others or the socket.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <queue>
#include <stop_token>
#include <string>
#include <vector>

#include "camera.h"
#include "wire.h"
#include "worker.h"

namespace vktemu {

class DiscoveryResponder {
 public:
  // Called on the receive thread once a camera took a new address, before
  // its echo goes out.
  using AddressTaken = std::function<void(const std::shared_ptr<Camera>&)>;

  DiscoveryResponder(CameraRegistry& cameras, Shared<DiscoveryTraffic>& traffic, uint16_t port = wire::kDiscoveryPort,
                     AddressTaken onAddressTaken = {});
  ~DiscoveryResponder() { stop(); }

  bool start(std::string* error);
  void stop();  // drops replies still waiting for their delay
  bool running() const { return worker_.running(); }

  bool sendRaw(const std::string& toAddress, uint16_t port, const std::vector<uint8_t>& bytes);

 private:
  struct Outgoing {
    sockaddr_in to{};
    std::optional<wire::Ipv4> source;
    std::vector<uint8_t> bytes;
    int copies = 1;
    bool isEcho = false;
  };
  struct Pending {
    Clock::time_point due;
    uint64_t order = 0;  // keeps replies due at the same moment in arrival order
    Outgoing outgoing;
    bool operator>(const Pending& other) const {
      return due != other.due ? due > other.due : order > other.order;
    }
  };
  struct SentEcho {
    Clock::time_point at;
    std::vector<uint8_t> bytes;
  };

  void run(std::stop_token stop);
  void receiveWaiting(std::vector<uint8_t>& buffer);
  void handleDatagram(const std::vector<uint8_t>& bytes, const sockaddr_in& from, Clock::time_point at);
  void answerProbe(const sockaddr_in& from, Clock::time_point at);
  void answerChangeIp(const wire::ChangeIpRequest& request, const std::vector<uint8_t>& bytes,
                      const sockaddr_in& from, Clock::time_point at);
  bool isOwnEcho(const std::vector<uint8_t>& bytes, const sockaddr_in& from, Clock::time_point at);
  void schedule(Clock::time_point due, Outgoing outgoing);
  void send(const Outgoing& outgoing);
  void sendDue(Clock::time_point now);
  int pollTimeoutMs() const;

  CameraRegistry& cameras_;
  Shared<DiscoveryTraffic>& traffic_;
  const uint16_t port_;
  const AddressTaken onAddressTaken_;

  std::mutex socketMutex_;  // socket_ against sendRaw() while opening/closing
  UdpSocket socket_;
  Worker worker_;

  // The loop's while it runs.
  std::priority_queue<Pending, std::vector<Pending>, std::greater<Pending>> pending_;
  uint64_t nextOrder_ = 0;
  std::deque<SentEcho> recentEchoes_;
};

}  // namespace vktemu
