// The control channel's commands on the video stream: stream, srate,
// ssize, spad, sfault, frames.
#include <arpa/inet.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "control_commands.h"
#include "number_text.h"
#include "stream_fault_text.h"

namespace vktemu {
namespace {

std::string error(std::string_view text) { return "error " + std::string(text) + "\n"; }

std::string flag(bool on) { return on ? "1" : "0"; }

}  // namespace

std::string ControlCommands::stream(std::string_view idText, std::string_view state) {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  if (state == "on") emulator_.forceStream(id, true);
  else if (state == "off") emulator_.forceStream(id, false);
  else if (state == "auto") emulator_.forceStream(id, std::nullopt);
  else return error("expected on, off or auto, got " + std::string(state));
  return "ok\n";
}

std::string ControlCommands::streamRate(std::string_view idText, std::string_view rateText) {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  double perSecond = 0;
  if (!parseNumber(rateText, 0.0, 1000.0, perSecond) || !std::isfinite(perSecond))
    return error("bad rate " + std::string(rateText) + " (0..1000 frames per second)");
  emulator_.setStreamRate(id, perSecond);
  return "ok\n";
}

std::string ControlCommands::streamSize(std::string_view idText, std::string_view widthText,
                                        std::string_view heightText, std::string_view qualityText) {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  int width = 0, height = 0, quality = 0;
  if (!parseInt(widthText, 8, 4096, width) || !parseInt(heightText, 8, 4096, height))
    return error("bad size " + std::string(widthText) + "x" + std::string(heightText) + " (8..4096)");
  if (!parseInt(qualityText, 1, 100, quality)) return error("bad quality " + std::string(qualityText) + " (1..100)");
  emulator_.setStreamFrameSize(id, width, height, quality);
  return "ok\n";
}

std::string ControlCommands::streamPad(std::string_view idText, std::string_view bytesText) {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  size_t bytes = 0;
  if (!parseNumber(bytesText, size_t{0}, size_t{64} << 20, bytes))
    return error("bad size " + std::string(bytesText) + " (0..67108864 bytes)");
  emulator_.setStreamFramePad(id, bytes);
  return "ok\n";
}

std::string ControlCommands::streamFault(std::string_view idText, std::string_view name, std::string_view value) {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  StreamFaults f = emulator_.streamFaults(id);
  std::string why;
  if (!setStreamFault(f, name, value, &why)) return error(why);
  emulator_.setStreamFaults(id, f);
  return "ok\n";
}

std::string ControlCommands::clearStreamFaults(std::string_view idText) {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  emulator_.setStreamFaults(id, StreamFaults{});
  return "ok\n";
}

std::string ControlCommands::frames(std::string_view idText) const {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  const PushTarget target = emulator_.streamTarget(id);
  std::string to = "none";
  if (target.set) {
    char address[INET_ADDRSTRLEN] = {};
    const in_addr raw{target.address};
    inet_ntop(AF_INET, &raw, address, sizeof address);
    to = std::string(address) + ":" + std::to_string(target.port);
  }
  const auto kept = emulator_.sentFrames(id);
  return "ok frames=" + std::to_string(emulator_.framesSent(id)) +
         " datagrams=" + std::to_string(emulator_.datagramsSent(id)) + " streaming=" + flag(emulator_.streaming(id)) +
         " target=" + to + " last=" + (kept.empty() ? "none" : std::to_string(kept.back().size())) + "\n";
}

}  // namespace vktemu
