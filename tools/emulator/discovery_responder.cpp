#include "discovery_responder.h"

#include <arpa/inet.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vktemu {
namespace {

// Datagrams handled per wake-up before due replies get their turn.
constexpr int kMaxBurst = 256;
// How long an echo we sent is remembered, to recognise it coming back to us.
constexpr auto kEchoMemory = std::chrono::seconds(2);
constexpr size_t kMaxRememberedEchoes = 1024;

}  // namespace

DiscoveryResponder::DiscoveryResponder(CameraRegistry& cameras, Shared<DiscoveryTraffic>& traffic, uint16_t port,
                                       AddressTaken onAddressTaken)
    : cameras_(cameras), traffic_(traffic), port_(port), onAddressTaken_(std::move(onAddressTaken)) {}

bool DiscoveryResponder::start(std::string* error) {
  return worker_.start(
      error,
      [this](std::string* why) {
        pending_ = {};
        recentEchoes_.clear();
        std::lock_guard lock(socketMutex_);
        return socket_.bind(wire::Ipv4{}, port_, true, why);
      },
      [this](std::stop_token stop) { run(stop); });
}

void DiscoveryResponder::stop() {
  worker_.stop([this] {
    std::lock_guard lock(socketMutex_);
    socket_.close();
  });
}

bool DiscoveryResponder::sendRaw(const std::string& toAddress, uint16_t port, const std::vector<uint8_t>& bytes) {
  const auto address = wire::parseIpv4(toAddress);
  if (!address || bytes.size() > kMaxDatagram) return false;
  std::lock_guard lock(socketMutex_);
  return socket_.sendTo(socketAddress(*address, port), bytes);
}

void DiscoveryResponder::run(std::stop_token stop) {
  std::vector<uint8_t> buffer;
  while (!stop.stop_requested()) {
    pollfd fds[2] = {{socket_.fd(), POLLIN, 0}, {worker_.wakeFd(), POLLIN, 0}};
    const int ready = ::poll(fds, 2, pollTimeoutMs());
    if (ready < 0 && errno != EINTR) break;
    if (ready > 0) {
      // Only a stop makes the wake descriptor readable.
      if (stop.stop_requested()) break;
      if (fds[0].revents != 0) receiveWaiting(buffer);
    }
    sendDue(Clock::now());
  }
}

void DiscoveryResponder::receiveWaiting(std::vector<uint8_t>& buffer) {
  for (int i = 0; i < kMaxBurst; ++i) {
    sockaddr_in from{};
    if (!socket_.receive(buffer, from)) return;
    handleDatagram(buffer, from, Clock::now());
  }
}

void DiscoveryResponder::handleDatagram(const std::vector<uint8_t>& bytes, const sockaddr_in& from,
                                        Clock::time_point at) {
  const bool probe = wire::isProbe(bytes);
  const auto changeIp = probe ? std::nullopt : wire::parseChangeIp(bytes);
  record(traffic_, ReceivedDatagram{at, dotted(from.sin_addr.s_addr), ntohs(from.sin_port), bytes}, probe);
  if (probe) {
    answerProbe(from, at);
  } else if (changeIp && !isOwnEcho(bytes, from, at)) {
    answerChangeIp(*changeIp, bytes, from, at);
  }
}

void DiscoveryResponder::answerProbe(const sockaddr_in& from, Clock::time_point at) {
  for (const auto& camera : cameras_.all()) {
    const DiscoveryFaults faults = camera->discoveryFaults.get();
    const int copies = std::clamp(faults.answerCopies, 0, kMaxAnswerCopies);
    if (faults.silent || copies == 0) continue;

    const CameraConfig config = camera->config();
    auto answer = buildDiscoveryAnswer(config);
    if (faults.badKeyword)
      std::memcpy(answer.data(), wire::kBadAnswerKeyword.data(), wire::kBadAnswerKeyword.size());
    const auto length = std::clamp<int64_t>(static_cast<int64_t>(answer.size()) + faults.answerLengthDelta, 0,
                                            static_cast<int64_t>(kMaxDatagram));

    Outgoing outgoing;
    outgoing.to = from;
    outgoing.source = wire::parseIpv4(config.address);
    outgoing.bytes.assign(static_cast<size_t>(length), 0);
    std::copy_n(answer.begin(), std::min(answer.size(), outgoing.bytes.size()), outgoing.bytes.begin());
    outgoing.copies = copies;
    schedule(at + clampedDelay(std::chrono::milliseconds(faults.answerDelayMs)), std::move(outgoing));
  }
}

void DiscoveryResponder::answerChangeIp(const wire::ChangeIpRequest& request, const std::vector<uint8_t>& bytes,
                                        const sockaddr_in& from, Clock::time_point at) {
  for (const auto& camera : cameras_.all()) {
    if (!camera->hasMac(request.mac)) continue;
    const DiscoveryFaults faults = camera->discoveryFaults.get();
    if (faults.ignoreChangeIp) continue;

    Outgoing outgoing;
    outgoing.to = from;
    // The camera answers from the address it had when the request came in.
    outgoing.source = camera->address();
    outgoing.bytes = bytes;
    outgoing.isEcho = true;
    if (faults.corruptEcho) {
      outgoing.bytes[wire::changeip::kFiller] ^= 0xA5;
    } else {
      camera->takeAddress(request.address, request.word1, request.word2);
      // The camera listens at its new address by the time the client hears
      // the echo and connects there.
      if (onAddressTaken_) onAddressTaken_(camera);
    }
    schedule(at + clampedDelay(std::chrono::milliseconds(faults.echoDelayMs)), std::move(outgoing));
  }
}

// A client bound to the discovery port on this host shares the port with
// us, so an echo sent to it may be delivered to our own socket instead. An
// echo is itself a well-formed change-IP request; acting on it would make
// the camera echo to itself forever.
bool DiscoveryResponder::isOwnEcho(const std::vector<uint8_t>& bytes, const sockaddr_in& from,
                                   Clock::time_point at) {
  while (!recentEchoes_.empty() && at - recentEchoes_.front().at > kEchoMemory) recentEchoes_.pop_front();
  if (ntohs(from.sin_port) != port_) return false;
  const auto match = std::find_if(recentEchoes_.begin(), recentEchoes_.end(),
                                  [&](const SentEcho& echo) { return echo.bytes == bytes; });
  if (match == recentEchoes_.end()) return false;
  recentEchoes_.erase(match);
  return true;
}

void DiscoveryResponder::schedule(Clock::time_point due, Outgoing outgoing) {
  if (due <= Clock::now()) {
    send(outgoing);
    return;
  }
  pending_.push(Pending{due, nextOrder_++, std::move(outgoing)});
}

void DiscoveryResponder::send(const Outgoing& outgoing) {
  for (int i = 0; i < outgoing.copies; ++i) {
    // A failed send is a lost datagram, as on a real network.
    socket_.sendTo(outgoing.to, outgoing.bytes, outgoing.source);
  }
  if (outgoing.isEcho && ntohs(outgoing.to.sin_port) == port_) {
    if (recentEchoes_.size() >= kMaxRememberedEchoes) recentEchoes_.pop_front();
    recentEchoes_.push_back(SentEcho{Clock::now(), outgoing.bytes});
  }
}

void DiscoveryResponder::sendDue(Clock::time_point now) {
  while (!pending_.empty() && pending_.top().due <= now) {
    Pending next = pending_.top();
    pending_.pop();
    send(next.outgoing);
  }
}

int DiscoveryResponder::pollTimeoutMs() const {
  return pending_.empty() ? kMaxPollMs : vktemu::pollTimeoutMs(pending_.top().due);
}

}  // namespace vktemu
