// The control channel's commands on the settings model: temp, savedelay, get,
// short.
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "control_commands.h"
#include "number_text.h"
#include "setting_table.h"

namespace vktemu {
namespace {

constexpr int kMaxDelayMs = 3600000;

std::string error(std::string_view text) { return "error " + std::string(text) + "\n"; }

std::string hex(const std::vector<uint8_t>& bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  char pair[3];
  for (const uint8_t byte : bytes) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    out += pair;
  }
  return out;
}

}  // namespace

std::string ControlCommands::temperature(std::string_view idText, std::string_view degreesText) {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  double degrees = 0;
  if (!parseNumber(degreesText, -1000.0, 1000.0, degrees) || !std::isfinite(degrees))
    return error("bad temperature " + std::string(degreesText));
  emulator_.setTemperature(id, degrees);
  return "ok\n";
}

std::string ControlCommands::saveDelay(std::string_view idText, std::string_view msText) {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  int ms = 0;
  if (!parseInt(msText, 0, kMaxDelayMs, ms)) return error("bad delay " + std::string(msText));
  emulator_.setSaveDelay(id, std::chrono::milliseconds(ms));
  return "ok\n";
}

std::string ControlCommands::setting(std::string_view idText, std::string_view commandText) const {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  int key = 0;
  const SettingDef* def = nullptr;
  if (parseInt(commandText, 0, 65535, key)) def = findSetting(key);
  if (!def) return error("no setting with get command " + std::string(commandText));
  if (def->form == SettingForm::kValue) return "ok value=" + std::to_string(emulator_.currentValue(id, key)) + "\n";
  return "ok record=" + hex(emulator_.currentRecord(id, key)) + "\n";
}

std::string ControlCommands::shortRecords(std::string_view idText, std::string_view state) {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  bool on = false;
  if (!parseBool(state, on)) return error("expected on or off, got " + std::string(state));
  emulator_.setShortRecords(id, on);
  return "ok\n";
}

}  // namespace vktemu
