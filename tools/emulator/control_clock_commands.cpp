// The control channel's commands on the camera's clock: clock, ntpdelay.
#include <string>

#include "control_commands.h"
#include "number_text.h"

namespace vktemu {
namespace {

constexpr int kMaxDelayMs = 3600000;

std::string error(std::string_view text) { return "error " + std::string(text) + "\n"; }

}  // namespace

std::string ControlCommands::clock(std::string_view idText) const {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  const auto [seconds, microseconds] = emulator_.clock(id);
  return "ok seconds=" + std::to_string(seconds) + " microseconds=" + std::to_string(microseconds) +
         " extra=" + std::to_string(emulator_.clockExtra(id)) + "\n";
}

std::string ControlCommands::ntpDelay(std::string_view idText, std::string_view msText) {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  int ms = 0;
  if (!parseInt(msText, 0, kMaxDelayMs, ms)) return error("bad delay " + std::string(msText));
  emulator_.setNtpDelay(id, std::chrono::milliseconds(ms));
  return "ok\n";
}

}  // namespace vktemu
