#include "control_commands.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <span>
#include <stdexcept>
#include <vector>

#include "camera_text.h"
#include "control_text.h"
#include "sd_card.h"
#include "setting_table.h"
#include "sockets.h"

namespace vktemu {
namespace {

using Words = std::span<const std::string_view>;

constexpr int kMaxDelayMs = 3600000;
constexpr int32_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int kAddedWidth = 160;
constexpr int kAddedHeight = 120;

const std::string kOk = "ok\n";

std::string error(std::string_view text) { return "error " + std::string(text) + "\n"; }

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

// What a command is run with: the camera it names (when it names one) and
// the words after that camera, or after the command's name.
struct Call {
  Emulator& emulator;
  int id;
  Words args;
  const std::function<void()>& onQuit;
};

struct Command {
  std::string_view name;
  std::string_view usage;      // as help lists it; empty: not listed
  size_t minWords, maxWords;   // with the name
  bool camera = true;          // the word after the name is a camera id
  std::string_view literal{};  // when set, the word after the camera must be this
  std::function<std::string(const Call&)> run{};
  const std::vector<Command>* sub = nullptr;  // the first argument names one of these
};

using Table = std::vector<Command>;

// Runs the command that `w` (name and arguments) names in `table`; `prefix`
// tells a table of subcommands apart in the messages.
std::string dispatch(const Table& table, Words w, std::string_view prefix, const Call& outer) {
  bool known = false;
  for (const auto& command : table) {
    if (command.name != w[0]) continue;
    known = true;
    if (w.size() < command.minWords || w.size() > command.maxWords) continue;
    if (!command.literal.empty() && w[2] != command.literal) continue;
    Call call{outer.emulator, outer.id, w.subspan(command.camera ? 2 : 1), outer.onQuit};
    const auto count = static_cast<int>(call.emulator.cameraCount());
    if (command.camera && !(count > 0 && parseNumber(w[1], 0, count - 1, call.id)))
      return error("unknown camera " + std::string(w[1]));
    if (command.sub) return dispatch(*command.sub, call.args, std::string(command.name) + " ", call);
    return command.run(call);
  }
  if (known) return error("wrong number of arguments for " + std::string(prefix) + std::string(w[0]));
  return error("unknown " + std::string(prefix) + "command " + std::string(w[0]));
}

using Run = std::function<std::string(const Call&)>;

std::string expectedOnOff(std::string_view got) { return error("expected on or off, got " + std::string(got)); }

// A command that only does something: its reply is "ok".
Run act(std::function<void(const Call&)> f) {
  return [f = std::move(f)](const Call& c) {
    f(c);
    return kOk;
  };
}

// "on" or "off", handed to the camera's setter.
Run onOff(void (Emulator::*set)(int, bool)) {
  return [set](const Call& c) {
    if (c.args[0] != "on" && c.args[0] != "off") return expectedOnOff(c.args[0]);
    (c.emulator.*set)(c.id, c.args[0] == "on");
    return kOk;
  };
}

// 0..3600000 ms, handed to the camera's setter; `what` names them when bad.
Run milliseconds(std::string_view what, void (Emulator::*set)(int, std::chrono::milliseconds)) {
  return [what, set](const Call& c) {
    int ms = 0;
    if (!parseNumber(c.args[0], 0, kMaxDelayMs, ms))
      return error("bad " + std::string(what) + " " + std::string(c.args[0]));
    (c.emulator.*set)(c.id, std::chrono::milliseconds(ms));
    return kOk;
  };
}

// 0..1000 per second; `unit` names them when bad.
Run rate(std::string_view unit, void (Emulator::*set)(int, double)) {
  return [unit, set](const Call& c) {
    double perSecond = 0;
    if (!parseNumber(c.args[0], 0.0, 1000.0, perSecond))
      return error("bad rate " + std::string(c.args[0]) + " (0..1000 " + std::string(unit) + ")");
    (c.emulator.*set)(c.id, perSecond);
    return kOk;
  };
}

// Picture and stream frame sizes: width, height and JPEG quality.
Run size(void (Emulator::*set)(int, int, int, int)) {
  return [set](const Call& c) {
    int width = 0, height = 0, quality = 0;
    if (!parseNumber(c.args[0], 8, 4096, width) || !parseNumber(c.args[1], 8, 4096, height))
      return error("bad size " + std::string(c.args[0]) + "x" + std::string(c.args[1]) + " (8..4096)");
    if (!parseNumber(c.args[2], 1, 100, quality)) return error("bad quality " + std::string(c.args[2]) + " (1..100)");
    (c.emulator.*set)(c.id, width, height, quality);
    return kOk;
  };
}

// One fault by name, on what `faults` has and handed to `store`.
template <typename Faults, typename Store>
std::string namedFault(Faults faults, std::string_view name, std::string_view value, Store&& store) {
  std::string why;
  if (!setFault(faults, name, value, &why)) return error(why);
  store(faults);
  return kOk;
}

// One fault by name on the camera's faults of one kind.
template <typename Faults>
Run fault(Faults (Emulator::*get)(int) const, void (Emulator::*set)(int, const Faults&)) {
  return [get, set](const Call& c) {
    return namedFault((c.emulator.*get)(c.id), c.args[0], c.args[1],
                      [&](const Faults& f) { (c.emulator.*set)(c.id, f); });
  };
}

// snap and trigger: the value (the record's word 12) is 0 when left out.
std::string picture(const Call& c, bool snapshot) {
  int32_t value = 0;
  if (!c.args.empty() && !parseNumber(c.args[0], kInt32Min, kInt32Max, value))
    return error("bad value " + std::string(c.args[0]));
  if (snapshot)
    c.emulator.snapshot(c.id, value);
  else
    c.emulator.trigger(c.id, value);
  return kOk;
}

std::string list(const Call& c) {
  const size_t count = c.emulator.cameraCount();
  std::string out = "ok " + std::to_string(count) + "\n";
  for (size_t id = 0; id < count; ++id) {
    const CameraConfig camera = c.emulator.camera(static_cast<int>(id));
    out += "id=" + std::to_string(id) + " address=" + camera.address + " mac=" + formatMac(camera.mac) +
           " port=" + std::to_string(camera.commandPort) + " model=" + camera.model + "\n";
  }
  return out + ".\n";
}

std::string setting(const Call& c) {
  int key = 0;
  const SettingDef* def = nullptr;
  if (parseNumber(c.args[0], 0, 65535, key)) def = findSetting(key);
  if (!def) return error("no setting with get command " + std::string(c.args[0]));
  if (def->form == SettingForm::kValue) return "ok value=" + std::to_string(c.emulator.currentValue(c.id, key)) + "\n";
  return "ok record=" + hex(c.emulator.currentRecord(c.id, key)) + "\n";
}

std::string pictures(const Call& c) {
  const auto pushed = c.emulator.pushedPictures(c.id);
  std::string last = "none";
  if (!pushed.empty())
    last = pushed.back().completed ? std::to_string(pushed.back().bytes.size()) : "failed:" + pushed.back().error;
  std::replace(last.begin(), last.end(), ' ', '_');
  return "ok pushed=" + std::to_string(c.emulator.picturesPushed(c.id)) +
         " snapshots=" + std::to_string(c.emulator.snapshotCount(c.id)) + " last=" + last +
         " held=" + std::to_string(c.emulator.heldConnections(c.id)) + "\n";
}

std::string frames(const Call& c) {
  const PushTarget target = c.emulator.streamTarget(c.id);
  const std::string to = target.set ? dotted(target.address) + ":" + std::to_string(target.port) : "none";
  const auto kept = c.emulator.sentFrames(c.id);
  return "ok frames=" + std::to_string(c.emulator.framesSent(c.id)) +
         " datagrams=" + std::to_string(c.emulator.datagramsSent(c.id)) +
         " streaming=" + (c.emulator.streaming(c.id) ? "1" : "0") + " target=" + to +
         " last=" + (kept.empty() ? "none" : std::to_string(kept.back().size())) + "\n";
}

std::string sdList(const Call& c) {
  const std::string path(c.args.empty() ? "/" : c.args[0]);
  const auto state = c.emulator.sdCardState(c.id);
  if (state.status == SdCard::kNoCard) return error("no card");
  if (state.status == SdCard::kFormatting) return error("card formatting");
  const auto entries = c.emulator.storedDirectory(c.id, path);
  if (!entries) return error("no directory " + path);
  std::string out = "ok " + std::to_string(entries->size()) + "\n";
  for (const auto& entry : *entries) out += std::to_string(entry.value) + " " + entry.name + "\n";
  return out + ".\n";
}

std::string sdAdd(const Call& c) {
  const std::string path(c.args[0]);
  size_t size = 0;
  if (!parseNumber(c.args[1], size_t{0}, SdCard::kMaxBytes, size))
    return error("bad size " + std::string(c.args[1]) + " (0.." + std::to_string(SdCard::kMaxBytes) + ")");
  const auto number = static_cast<uint32_t>(c.emulator.storedPictures(c.id).size() + 1);
  std::string why;
  auto bytes = sdJpeg(c.id, number, kAddedWidth, kAddedHeight, size, &why);
  if (!bytes) return error(why);
  const size_t stored = bytes->size();
  try {
    c.emulator.addStoredPicture(c.id, path, std::move(*bytes));
  } catch (const std::invalid_argument&) {
    return error("bad path " + path + " (/DIRECTORY/NAME)");
  }
  return "ok bytes=" + std::to_string(stored) + "\n";
}

const Table& sdCommands() {
  static const Table table = {
      {"state",
       "sd <id> state",
       1,
       1,
       false,
       {},
       [](const Call& c) {
         const auto state = c.emulator.sdCardState(c.id);
         return "ok status=" + std::to_string(state.status) + " capacity=" + std::to_string(state.capacityMiB) +
                " free=" + std::to_string(state.freeMiB) +
                " pictures=" + std::to_string(c.emulator.storedPictures(c.id).size()) +
                " formats=" + std::to_string(c.emulator.formatCount(c.id)) + "\n";
       }},
      {"ls", "sd <id> ls [path]", 1, 2, false, {}, sdList},
      {"add", "sd <id> add <path> <size>", 3, 3, false, {}, sdAdd},
      {"get",
       "sd <id> get <path>",
       2,
       2,
       false,
       {},
       [](const Call& c) {
         const auto bytes = c.emulator.storedPicture(c.id, std::string(c.args[0]));
         if (!bytes) return error("no picture " + std::string(c.args[0]));
         return "ok bytes=" + std::to_string(bytes->size()) + " hex=" + hex(*bytes) + "\n";
       }},
      {"clear", "sd <id> clear", 1, 1, false, {}, act([](const Call& c) { c.emulator.clearStoredPictures(c.id); })},
      {"card", "sd <id> card on|off", 2, 2, false, {}, onOff(&Emulator::setSdCardPresent)},
      {"formattime",
       "sd <id> formattime <ms>",
       2,
       2,
       false,
       {},
       milliseconds("format time", &Emulator::setFormatDuration)},
      {"listing",
       "sd <id> listing <hex>|none",
       2,
       2,
       false,
       {},
       [](const Call& c) {
         auto bytes = c.args[0] == "none" ? std::optional<std::vector<uint8_t>>() : parseHex(c.args[0]);
         if (c.args[0] != "none" && !bytes) return error("bad hex " + std::string(c.args[0]));
         c.emulator.setListingOverride(c.id, std::move(bytes));
         return kOk;
       }},
  };
  return table;
}

std::string help();

const Table& commands() {
  static const Table table = {
      {"list", "list", 1, 1, false, {}, list},
      {"fault",
       "fault <id> <name> <value>",
       4,
       4,
       true,
       {},
       fault(&Emulator::discoveryFaults, &Emulator::setDiscoveryFaults)},
      {"faults",
       "faults <id>",
       2,
       2,
       true,
       {},
       [](const Call& c) { return "ok " + showFaults(c.emulator.discoveryFaults(c.id)) + "\n"; }},
      {"traffic",
       "traffic",
       1,
       1,
       false,
       {},
       [](const Call& c) {
         return "ok probes=" + std::to_string(c.emulator.probeCount()) +
                " datagrams=" + std::to_string(c.emulator.datagramCount()) + "\n";
       }},
      {"clear", "clear", 1, 1, false, {}, act([](const Call& c) { c.emulator.clearTraffic(); })},
      {"cfault",
       "cfault <id> <command> <name> <value>",
       5,
       5,
       true,
       {},
       [](const Call& c) {
         int command = 0;
         if (!parseNumber(c.args[0], kInt32Min, kInt32Max, command))
           return error("bad command " + std::string(c.args[0]));
         return namedFault(c.emulator.commandFaults(c.id, command).value_or(CommandFaults{}), c.args[1], c.args[2],
                           [&](const auto& f) { c.emulator.setCommandFaults(c.id, command, f); });
       }},
      {"cfault", "cfault <id> clear", 3, 3, true, "clear",
       act([](const Call& c) { c.emulator.clearCommandFaults(c.id); })},
      {"commands",
       "commands <id>",
       2,
       2,
       true,
       {},
       [](const Call& c) {
         return "ok n=" + std::to_string(c.emulator.commandCount(c.id)) +
                " connections=" + std::to_string(c.emulator.connectionCount(c.id)) +
                " open=" + std::to_string(c.emulator.openConnectionCount(c.id)) + "\n";
       }},
      {"push",
       "push <id>",
       2,
       2,
       true,
       {},
       [](const Call& c) {
         const PushTarget target = c.emulator.pushTarget(c.id);
         return "ok address=" + dotted(target.address) + " port=" + std::to_string(target.port) +
                " flag=" + std::to_string(target.flag) + "\n";
       }},
      {"drop", "drop <id>", 2, 2, true, {}, act([](const Call& c) { c.emulator.closeCommandConnections(c.id); })},
      {"listen", "listen <id> on|off", 3, 3, true, {}, onOff(&Emulator::setCommandListening)},
      {"temp",
       "temp <id> <degrees>",
       3,
       3,
       true,
       {},
       [](const Call& c) {
         double degrees = 0;
         if (!parseNumber(c.args[0], -1000.0, 1000.0, degrees))
           return error("bad temperature " + std::string(c.args[0]));
         c.emulator.setTemperature(c.id, degrees);
         return kOk;
       }},
      {"savedelay", "savedelay <id> <ms>", 3, 3, true, {}, milliseconds("delay", &Emulator::setSaveDelay)},
      {"get", "get <id> <getCommand>", 3, 3, true, {}, setting},
      {"short",
       "short <id> on|off",
       3,
       3,
       true,
       {},
       [](const Call& c) {
         bool on = false;
         if (!parseBool(c.args[0], on)) return expectedOnOff(c.args[0]);
         c.emulator.setShortRecords(c.id, on);
         return kOk;
       }},
      {"clock",
       "clock <id>",
       2,
       2,
       true,
       {},
       [](const Call& c) {
         const auto [seconds, microseconds] = c.emulator.clock(c.id);
         return "ok seconds=" + std::to_string(seconds) + " microseconds=" + std::to_string(microseconds) +
                " extra=" + std::to_string(c.emulator.clockExtra(c.id)) + "\n";
       }},
      {"ntpdelay", "ntpdelay <id> <ms>", 3, 3, true, {}, milliseconds("delay", &Emulator::setNtpDelay)},
      {"snap", "snap <id> [value]", 2, 3, true, {}, [](const Call& c) { return picture(c, true); }},
      {"trigger", "trigger <id> [value]", 2, 3, true, {}, [](const Call& c) { return picture(c, false); }},
      {"triggers", "triggers <id> <perSecond>", 3, 3, true, {}, rate("per second", &Emulator::startTriggers)},
      {"pfault", "pfault <id> <name> <value>", 4, 4, true, {}, fault(&Emulator::pushFaults, &Emulator::setPushFaults)},
      {"pfault", "pfault <id> clear", 3, 3, true, "clear",
       act([](const Call& c) { c.emulator.setPushFaults(c.id, PushFaults{}); })},
      {"picsize", "picsize <id> <w> <h> <q>", 5, 5, true, {}, size(&Emulator::setPictureSize)},
      {"pictures", "pictures <id>", 2, 2, true, {}, pictures},
      {"stream",
       "stream <id> on|off|auto",
       3,
       3,
       true,
       {},
       [](const Call& c) {
         const std::string_view state = c.args[0];
         if (state != "on" && state != "off" && state != "auto")
           return error("expected on, off or auto, got " + std::string(state));
         c.emulator.forceStream(c.id, state == "auto" ? std::nullopt : std::optional(state == "on"));
         return kOk;
       }},
      {"srate", "srate <id> <fps>", 3, 3, true, {}, rate("frames per second", &Emulator::setStreamRate)},
      {"ssize", "ssize <id> <w> <h> <q>", 5, 5, true, {}, size(&Emulator::setStreamFrameSize)},
      {"spad",
       "spad <id> <bytes>",
       3,
       3,
       true,
       {},
       [](const Call& c) {
         size_t bytes = 0;
         if (!parseNumber(c.args[0], size_t{0}, size_t{64} << 20, bytes))
           return error("bad size " + std::string(c.args[0]) + " (0..67108864 bytes)");
         c.emulator.setStreamFramePad(c.id, bytes);
         return kOk;
       }},
      {"sfault",
       "sfault <id> <name> <value>",
       4,
       4,
       true,
       {},
       fault(&Emulator::streamFaults, &Emulator::setStreamFaults)},
      {"sfault", "sfault <id> clear", 3, 3, true, "clear",
       act([](const Call& c) { c.emulator.setStreamFaults(c.id, StreamFaults{}); })},
      {"frames", "frames <id>", 2, 2, true, {}, frames},
      {"sd", {}, 3, SIZE_MAX, true, {}, {}, &sdCommands()},
      {"help", {}, 1, 1, false, {}, [](const Call&) { return help(); }},
      {"quit",
       "quit",
       1,
       1,
       false,
       {},
       [](const Call& c) {
         if (c.onQuit) c.onQuit();
         return std::string("ok bye\n");
       }},
  };
  return table;
}

// Every listed usage, the subcommands' in their parent's place.
std::string help() {
  std::string out;
  const auto add = [&](const Table& table, const auto& self) -> void {
    for (const auto& command : table) {
      if (command.sub)
        self(*command.sub, self);
      else if (!command.usage.empty())
        out += (out.empty() ? "ok " : " | ") + std::string(command.usage);
    }
  };
  add(commands(), add);
  return out + "\n";
}

}  // namespace

ControlCommands::ControlCommands(Emulator& emulator, std::function<void()> onQuit)
    : emulator_(emulator), onQuit_(std::move(onQuit)) {}

std::string ControlCommands::handle(std::string_view line) {
  const auto w = words(line);
  if (w.empty()) return error("empty command");
  return dispatch(commands(), w, "", Call{emulator_, 0, {}, onQuit_});
}

}  // namespace vktemu
