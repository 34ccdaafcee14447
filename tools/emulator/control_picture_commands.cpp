// The control channel's commands on pictures: snap, trigger, triggers,
// pfault, picsize, pictures.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "control_commands.h"
#include "number_text.h"
#include "push_fault_text.h"

namespace vktemu {
namespace {

std::string error(std::string_view text) { return "error " + std::string(text) + "\n"; }

// An optional value word; 0 when left out.
bool pictureValue(std::string_view text, int32_t& value) {
  if (text.empty()) return value = 0, true;
  return parseNumber(text, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), value);
}

}  // namespace

std::string ControlCommands::picture(std::string_view command, std::string_view idText, std::string_view valueText) {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  int32_t value = 0;
  if (!pictureValue(valueText, value)) return error("bad value " + std::string(valueText));
  if (command == "snap") emulator_.snapshot(id, value);
  else emulator_.trigger(id, value);
  return "ok\n";
}

std::string ControlCommands::triggers(std::string_view idText, std::string_view rateText) {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  double perSecond = 0;
  if (!parseNumber(rateText, 0.0, 1000.0, perSecond) || !std::isfinite(perSecond))
    return error("bad rate " + std::string(rateText) + " (0..1000 per second)");
  emulator_.startTriggers(id, perSecond);
  return "ok\n";
}

std::string ControlCommands::pushFault(std::string_view idText, std::string_view name, std::string_view value) {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  PushFaults f = emulator_.pushFaults(id);
  std::string why;
  if (!setPushFault(f, name, value, &why)) return error(why);
  emulator_.setPushFaults(id, f);
  return "ok\n";
}

std::string ControlCommands::clearPushFaults(std::string_view idText) {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  emulator_.setPushFaults(id, PushFaults{});
  return "ok\n";
}

std::string ControlCommands::pictureSize(std::string_view idText, std::string_view widthText,
                                         std::string_view heightText, std::string_view qualityText) {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  int width = 0, height = 0, quality = 0;
  if (!parseInt(widthText, 8, 4096, width) || !parseInt(heightText, 8, 4096, height))
    return error("bad size " + std::string(widthText) + "x" + std::string(heightText) + " (8..4096)");
  if (!parseInt(qualityText, 1, 100, quality)) return error("bad quality " + std::string(qualityText) + " (1..100)");
  emulator_.setPictureSize(id, width, height, quality);
  return "ok\n";
}

std::string ControlCommands::pictures(std::string_view idText) const {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  const auto pushed = emulator_.pushedPictures(id);
  std::string last = "none";
  if (!pushed.empty())
    last = pushed.back().completed ? std::to_string(pushed.back().bytes.size()) : "failed:" + pushed.back().error;
  for (auto& c : last) {
    if (c == ' ') c = '_';
  }
  return "ok pushed=" + std::to_string(emulator_.picturesPushed(id)) +
         " snapshots=" + std::to_string(emulator_.snapshotCount(id)) + " last=" + last +
         " held=" + std::to_string(emulator_.heldConnections(id)) + "\n";
}

}  // namespace vktemu
