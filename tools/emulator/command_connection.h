// One client connection to a camera's command channel. It never blocks:
// the camera's loop reads what arrived, answers every whole request, and
// writes replies as they fall due and as the socket takes them. A reply
// with a delay does not hold up the replies to later requests.
#pragma once

#include <poll.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "camera.h"
#include "command_handlers.h"
#include "sockets.h"

namespace vktemu {

class CommandConnection {
 public:
  CommandConnection(UniqueFd fd, int serial, std::string peerAddress);
  ~CommandConnection();  // closes the socket

  int fd() const { return fd_.get(); }
  short pollEvents() const;

  // Reads what arrived and plans the replies to the whole requests in it,
  // a bounded number per call so the camera's loop stays responsive. False
  // once the connection is to be closed (peer gone, error, a request
  // announcing an oversized payload).
  bool receive(Camera& camera, const CommandTable& commands);
  // Whole requests already read and waiting for the next receive().
  bool hasWaitingRequest() const;

  // Moves the replies due by `now` to the output and writes what the socket
  // takes. False once the connection is to be closed (the socket closes
  // with the object, so the owner can count it gone first).
  bool send(Clock::time_point now);

  std::optional<Clock::time_point> nextDue() const;

  // A reply that ends the connection is planned or going out.
  bool ending() const { return ending_ || closing_; }

 private:
  struct Outgoing {
    std::vector<uint8_t> bytes;
    bool closeAfter = false;
    std::function<void()> onSent;
  };
  struct SentHook {
    size_t end = 0;  // in output_: told once outputSent_ reaches it
    std::function<void()> hook;
  };

  bool answerWholeRequests(Camera& camera, const CommandTable& commands, Clock::time_point now, int& budget);
  bool backlogged() const;
  size_t unsentBytes() const { return output_.size() - outputSent_; }

  UniqueFd fd_;
  const int serial_;
  const std::string peerAddress_;
  std::vector<uint8_t> input_;
  std::vector<uint8_t> output_;
  size_t outputSent_ = 0;
  std::deque<SentHook> sentHooks_;
  // By due time; replies due at the same moment keep their arrival order.
  std::multimap<Clock::time_point, Outgoing> scheduled_;
  size_t scheduledBytes_ = 0;
  bool closing_ = false;  // a reply cut short went out: close once it is written
  // A reply that ends the connection is planned: nothing more is read or
  // answered.
  bool ending_ = false;
};

}  // namespace vktemu
