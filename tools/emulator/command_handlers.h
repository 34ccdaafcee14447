// What a camera does with each command-channel request, before faults:
// a table of handlers by command code, and the settings store for every
// command without one. The behaviours are added to standardCommands(): the
// settings model (settings_handlers.cpp), the SD card (sd_handlers.cpp),
// and the clock, NTP, push and stream targets, snapshots and the stream mode
// (command_handlers.cpp).
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

inline Reply withStatus(int32_t status) {
  Reply reply;
  reply.status = status;
  return reply;
}

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

// f(SettingsModel&)'s reply, under the camera's lock. What a test stored for
// the command with setReplyValue / setReplyPayload replaces the model's
// value / payload, and a Set the test paired with setSettingPair still
// stores what it carries: explicit test set-ups keep working on modelled
// commands.
Reply modelReply(Camera& camera, const Request& request, const std::function<Reply(SettingsModel&)>& f);

// Every behaviour the emulated cameras have.
CommandTable standardCommands();

// Get, Set and GetDefault of every setting in the table, the camera's state
// query, saving (100), the resets (103, 104) that restore the factory
// settings and restart the camera, and the network Set (1017), whose new
// address moves the camera as a change-IP does.
void addSettingCommands(CommandTable& table);
// State (1200), format (1205) and its progress (1206), listing (1210),
// fetch (1216) and delete (1217). A request with a payload of another size
// than the command's gets -3.
void addSdCardCommands(CommandTable& table);

}  // namespace vktemu
