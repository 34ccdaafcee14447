#include "control_commands.h"

#include <arpa/inet.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "camera_text.h"
#include "command_fault_text.h"
#include "number_text.h"

namespace vktemu {
namespace {

std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> out;
  size_t at = 0;
  while (at < line.size()) {
    const auto start = line.find_first_not_of(" \t\r", at);
    if (start == std::string_view::npos) break;
    const auto end = line.find_first_of(" \t\r", start);
    out.push_back(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    at = end == std::string_view::npos ? line.size() : end;
  }
  return out;
}

std::string error(std::string_view text) { return "error " + std::string(text) + "\n"; }

}  // namespace

ControlCommands::ControlCommands(Emulator& emulator, std::function<void()> onQuit)
    : emulator_(emulator), onQuit_(std::move(onQuit)) {}

std::string ControlCommands::handle(std::string_view line) {
  const auto w = words(line);
  if (w.empty()) return error("empty command");
  const std::string_view command = w[0];
  if (command == "list" && w.size() == 1) return list();
  if (command == "fault" && w.size() == 4) return fault(w[1], w[2], w[3]);
  if (command == "faults" && w.size() == 2) return faults(w[1]);
  if (command == "traffic" && w.size() == 1)
    return "ok probes=" + std::to_string(emulator_.probeCount()) +
           " datagrams=" + std::to_string(emulator_.datagramCount()) + "\n";
  if (command == "clear" && w.size() == 1) {
    emulator_.clearTraffic();
    return "ok\n";
  }
  if (command == "cfault" && w.size() == 5) return commandFault(w[1], w[2], w[3], w[4]);
  if (command == "cfault" && w.size() == 3 && w[2] == "clear") return clearCommandFaults(w[1]);
  if (command == "commands" && w.size() == 2) return commands(w[1]);
  if (command == "push" && w.size() == 2) return push(w[1]);
  if (command == "drop" && w.size() == 2) return drop(w[1]);
  if (command == "listen" && w.size() == 3) return listen(w[1], w[2]);
  if (command == "temp" && w.size() == 3) return temperature(w[1], w[2]);
  if (command == "savedelay" && w.size() == 3) return saveDelay(w[1], w[2]);
  if (command == "get" && w.size() == 3) return setting(w[1], w[2]);
  if (command == "short" && w.size() == 3) return shortRecords(w[1], w[2]);
  if (command == "clock" && w.size() == 2) return clock(w[1]);
  if (command == "ntpdelay" && w.size() == 3) return ntpDelay(w[1], w[2]);
  if ((command == "snap" || command == "trigger") && (w.size() == 2 || w.size() == 3))
    return picture(command, w[1], w.size() == 3 ? w[2] : std::string_view{});
  if (command == "triggers" && w.size() == 3) return triggers(w[1], w[2]);
  if (command == "pfault" && w.size() == 4) return pushFault(w[1], w[2], w[3]);
  if (command == "pfault" && w.size() == 3 && w[2] == "clear") return clearPushFaults(w[1]);
  if (command == "picsize" && w.size() == 5) return pictureSize(w[1], w[2], w[3], w[4]);
  if (command == "pictures" && w.size() == 2) return pictures(w[1]);
  if (command == "stream" && w.size() == 3) return stream(w[1], w[2]);
  if (command == "srate" && w.size() == 3) return streamRate(w[1], w[2]);
  if (command == "ssize" && w.size() == 5) return streamSize(w[1], w[2], w[3], w[4]);
  if (command == "spad" && w.size() == 3) return streamPad(w[1], w[2]);
  if (command == "sfault" && w.size() == 4) return streamFault(w[1], w[2], w[3]);
  if (command == "sfault" && w.size() == 3 && w[2] == "clear") return clearStreamFaults(w[1]);
  if (command == "frames" && w.size() == 2) return frames(w[1]);
  if (command == "sd" && w.size() >= 3) return sdCard(std::span(w).subspan(1));
  if (command == "help" && w.size() == 1)
    return "ok list | fault <id> <name> <value> | faults <id> | traffic | clear | "
           "cfault <id> <command> <name> <value> | cfault <id> clear | commands <id> | push <id> | drop <id> | "
           "listen <id> on|off | temp <id> <degrees> | savedelay <id> <ms> | get <id> <getCommand> | "
           "short <id> on|off | clock <id> | ntpdelay <id> <ms> | snap <id> [value] | trigger <id> [value] | "
           "triggers <id> <perSecond> | pfault <id> <name> <value> | pfault <id> clear | "
           "picsize <id> <w> <h> <q> | pictures <id> | stream <id> on|off|auto | srate <id> <fps> | "
           "ssize <id> <w> <h> <q> | spad <id> <bytes> | sfault <id> <name> <value> | sfault <id> clear | "
           "frames <id> | sd <id> state | sd <id> ls [path] | sd <id> add <path> <size> | sd <id> get <path> | "
           "sd <id> clear | sd <id> card on|off | sd <id> formattime <ms> | sd <id> listing <hex>|none | quit\n";
  if (command == "quit" && w.size() == 1) {
    if (onQuit_) onQuit_();
    return "ok bye\n";
  }
  if (command == "list" || command == "fault" || command == "faults" || command == "traffic" ||
      command == "clear" || command == "help" || command == "quit" || command == "cfault" ||
      command == "commands" || command == "push" || command == "drop" || command == "listen" ||
      command == "temp" || command == "savedelay" || command == "get" || command == "short" ||
      command == "clock" || command == "ntpdelay" || command == "snap" || command == "trigger" ||
      command == "triggers" || command == "pfault" || command == "picsize" || command == "pictures" ||
      command == "stream" || command == "srate" || command == "ssize" || command == "spad" ||
      command == "sfault" || command == "frames" || command == "sd")
    return error("wrong number of arguments for " + std::string(command));
  return error("unknown command " + std::string(command));
}

std::string ControlCommands::list() const {
  const size_t count = emulator_.cameraCount();
  std::string out = "ok " + std::to_string(count) + "\n";
  for (size_t id = 0; id < count; ++id) {
    const CameraConfig camera = emulator_.camera(static_cast<int>(id));
    out += "id=" + std::to_string(id) + " address=" + camera.address + " mac=" + formatMac(camera.mac) +
           " port=" + std::to_string(camera.commandPort) + " model=" + camera.model + "\n";
  }
  return out + ".\n";
}

bool ControlCommands::cameraId(std::string_view text, int& id) const {
  const auto count = static_cast<int>(emulator_.cameraCount());
  return count > 0 && parseInt(text, 0, count - 1, id);
}

std::string ControlCommands::fault(std::string_view idText, std::string_view name, std::string_view value) {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  DiscoveryFaults f = emulator_.discoveryFaults(id);
  bool ok = false;
  if (name == "silent") ok = parseBool(value, f.silent);
  else if (name == "answerDelayMs") ok = parseInt(value, 0, 3600000, f.answerDelayMs);
  else if (name == "answerCopies") ok = parseInt(value, 0, 1000, f.answerCopies);
  else if (name == "answerLengthDelta") ok = parseInt(value, -396, 65507 - 396, f.answerLengthDelta);
  else if (name == "badKeyword") ok = parseBool(value, f.badKeyword);
  else if (name == "ignoreChangeIp") ok = parseBool(value, f.ignoreChangeIp);
  else if (name == "corruptEcho") ok = parseBool(value, f.corruptEcho);
  else if (name == "echoDelayMs") ok = parseInt(value, 0, 3600000, f.echoDelayMs);
  else return error("unknown fault " + std::string(name));
  if (!ok) return error("bad value " + std::string(value) + " for " + std::string(name));
  emulator_.setDiscoveryFaults(id, f);
  return "ok\n";
}

std::string ControlCommands::faults(std::string_view idText) const {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  const DiscoveryFaults f = emulator_.discoveryFaults(id);
  auto flag = [](bool b) { return b ? "1" : "0"; };
  return std::string("ok silent=") + flag(f.silent) + " answerDelayMs=" + std::to_string(f.answerDelayMs) +
         " answerCopies=" + std::to_string(f.answerCopies) +
         " answerLengthDelta=" + std::to_string(f.answerLengthDelta) + " badKeyword=" + flag(f.badKeyword) +
         " ignoreChangeIp=" + flag(f.ignoreChangeIp) + " corruptEcho=" + flag(f.corruptEcho) +
         " echoDelayMs=" + std::to_string(f.echoDelayMs) + "\n";
}

std::string ControlCommands::commandFault(std::string_view idText, std::string_view commandText,
                                          std::string_view name, std::string_view value) {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  int command = 0;
  if (!parseInt(commandText, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), command))
    return error("bad command " + std::string(commandText));
  CommandFaults f = emulator_.commandFaults(id, command).value_or(CommandFaults{});
  std::string why;
  if (!setCommandFault(f, name, value, &why)) return error(why);
  emulator_.setCommandFaults(id, command, f);
  return "ok\n";
}

std::string ControlCommands::clearCommandFaults(std::string_view idText) {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  emulator_.clearCommandFaults(id);
  return "ok\n";
}

std::string ControlCommands::commands(std::string_view idText) const {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  return "ok n=" + std::to_string(emulator_.commandCount(id)) +
         " connections=" + std::to_string(emulator_.connectionCount(id)) +
         " open=" + std::to_string(emulator_.openConnectionCount(id)) + "\n";
}

std::string ControlCommands::push(std::string_view idText) const {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  const PushTarget target = emulator_.pushTarget(id);
  char address[INET_ADDRSTRLEN] = {};
  const in_addr raw{target.address};
  inet_ntop(AF_INET, &raw, address, sizeof address);
  return "ok address=" + std::string(address) + " port=" + std::to_string(target.port) +
         " flag=" + std::to_string(target.flag) + "\n";
}

std::string ControlCommands::drop(std::string_view idText) {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  emulator_.closeCommandConnections(id);
  return "ok\n";
}

std::string ControlCommands::listen(std::string_view idText, std::string_view state) {
  int id = 0;
  if (!cameraId(idText, id)) return error("unknown camera " + std::string(idText));
  if (state != "on" && state != "off") return error("expected on or off, got " + std::string(state));
  emulator_.setCommandListening(id, state == "on");
  return "ok\n";
}

}  // namespace vktemu
