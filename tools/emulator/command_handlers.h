// What a camera does with each command-channel request, before faults:
// a table of handlers by command code, and the settings store for every
// command without one. Camera behaviours (settings, clock, NTP, SD card,
// pictures) are added as handlers to standardCommands().
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "camera.h"

namespace vktemu {

struct Request {
  std::chrono::steady_clock::time_point at{};
  int connection = 0;       // the connection's serial number
  std::string peerAddress;  // dotted
  int32_t version = 0;
  int32_t command = 0;
  int32_t sequence = 0;
  int32_t status = 0;
  int32_t value = 0;
  std::vector<uint8_t> payload;
};

struct Reply {
  int32_t status = 0;
  int32_t value = 0;
  std::vector<uint8_t> payload;
  // The camera closes the connection once this reply is out (it restarts).
  bool closeAfter = false;
  // Commands whose work takes time answer twice: at once, and with this
  // once the work is done.
  struct Completion {
    int32_t status = 0;
    int32_t value = 0;
    // After the first reply; a fault set for exactly this command overrides
    // it. None: the fault default (50 ms).
    std::optional<std::chrono::milliseconds> delay;
    // Told when the completion is due, once it is planned; never when none
    // goes out (a refused request, noCompletion) or it reports a failure.
    std::function<void(std::chrono::steady_clock::time_point due)> onDone;
  };
  std::optional<Completion> completion;
  // Told once the first reply has been handed to the socket, or at once
  // when the camera sends none; never when the connection goes first.
  std::function<void()> onSent;
};

using CommandHandler = std::function<Reply(Camera&, const Request&)>;

class CommandTable {
 public:
  void add(int32_t command, CommandHandler handler);
  // The command's handler, or storedReply() when it has none.
  Reply answer(Camera& camera, const Request& request) const;

 private:
  std::unordered_map<int32_t, CommandHandler> handlers_;
};

// The settings store's answer: a registered Set stores what it carries; the
// reply carries the value and payload stored for the command.
Reply storedReply(Camera& camera, const Request& request);

// Every behaviour the emulated cameras have.
CommandTable standardCommands();

}  // namespace vktemu
