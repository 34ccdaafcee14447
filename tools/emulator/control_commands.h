// The text commands of the emulator's control channel, one per line:
//
//   list                      ok <n>, then one line per camera
//                             "id=<id> address=<a> mac=<m> port=<p> model=<model>",
//                             then a line "."
//   fault <id> <name> <value> ok      (names as in DiscoveryFaults; booleans 0/1/true/false)
//   faults <id>               ok silent=0 answerDelayMs=0 ... (all fields on one line)
//   traffic                   ok probes=<n> datagrams=<n>
//   clear                     ok      (forgets the discovery traffic)
//   help                      ok <command list>
//   quit                      ok bye  (then the program stops)
//
// Every reply starts with "ok" or "error <text>" and is one line, except
// list's, which ends with a line holding only ".".
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
  std::string list() const;
  std::string fault(std::string_view id, std::string_view name, std::string_view value);
  std::string faults(std::string_view id) const;
  bool cameraId(std::string_view text, int& id) const;

  Emulator& emulator_;
  std::function<void()> onQuit_;
};

}  // namespace vktemu
