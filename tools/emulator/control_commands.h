// The text commands of the emulator's control channel, one per line, as
// `vkt-emulator --help` and the `help` command list them (the table in
// control_commands.cpp). Every reply starts with "ok" or "error <text>" and
// is one line, except list's and sd ls's, which end with a line holding only
// ".".
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "emulator.h"

namespace vktemu {

class ControlCommands {
 public:
  ControlCommands(Emulator& emulator, std::function<void()> onQuit);

  // The whole reply, each line ending in '\n'.
  std::string handle(std::string_view line);

 private:
  Emulator& emulator_;
  std::function<void()> onQuit_;
};

}  // namespace vktemu
