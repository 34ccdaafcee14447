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

constexpr int32_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int kAddedWidth = 160;
constexpr int kAddedHeight = 120;

const std::string kOk = "ok\n";

std::string error(std::string_view text) { return "error " + std::string(text) + "\n"; }

// The words of a line, between blanks.
std::vector<std::string_view> words(std::string_view line) {
  constexpr std::string_view kBlanks = " \t\r";
  std::vector<std::string_view> out;
  for (size_t at = line.find_first_not_of(kBlanks); at != std::string_view::npos;
       at = line.find_first_not_of(kBlanks, at)) {
    const size_t end = std::min(line.find_first_of(kBlanks, at), line.size());
    out.push_back(line.substr(at, end - at));
    at = end;
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

using Run = std::function<std::string(const Call&)>;

// One command of a table, read from its usage as help lists it: the name,
// "<id>" when the next word names a camera, then a word per argument:
// "[value]" may be left out, "..." stands for one or more words, and a plain
// word must be given as it stands ("clear"). A command with a table of
// subcommands hands them the words after its camera.
struct Command {
  Command(std::string_view usage, Run run, bool listed = true)
      : usage(usage), shape(words(usage)), run(std::move(run)), listed(listed) {}
  Command(std::string_view usage, const std::vector<Command>& sub) : usage(usage), shape(words(usage)), sub(&sub) {}

  std::string_view name() const { return shape[0]; }
  bool namesCamera() const { return shape.size() > 1 && shape[1] == "<id>"; }
  // As many words as the usage has, less those that may be left out (more
  // for "..."), the plain ones as they stand.
  bool fits(Words w) const {
    const auto optional = std::count_if(shape.begin(), shape.end(), [](std::string_view s) { return s[0] == '['; });
    if (w.size() + static_cast<size_t>(optional) < shape.size()) return false;
    if (w.size() > shape.size() && shape.back() != "...") return false;
    for (size_t i = 1; i < std::min(w.size(), shape.size()); ++i) {
      if (shape[i].find_first_of("<[|.") == std::string_view::npos && w[i] != shape[i]) return false;
    }
    return true;
  }

  std::string_view usage;
  std::vector<std::string_view> shape;
  Run run;
  bool listed = true;  // by help
  const std::vector<Command>* sub = nullptr;
};

using Table = std::vector<Command>;

// Runs the command that `w` (name and arguments) names in `table`; `prefix`
// tells a table of subcommands apart in the messages.
std::string dispatch(const Table& table, Words w, std::string_view prefix, const Call& outer) {
  bool known = false;
  for (const auto& command : table) {
    if (command.name() != w[0]) continue;
    known = true;
    if (!command.fits(w)) continue;
    Call call{outer.emulator, outer.id, w.subspan(command.namesCamera() ? 2 : 1), outer.onQuit};
    const auto count = static_cast<int>(call.emulator.cameraCount());
    if (command.namesCamera() && !(count > 0 && parseNumber(w[1], 0, count - 1, call.id)))
      return error("unknown camera " + std::string(w[1]));
    if (command.sub) return dispatch(*command.sub, call.args, std::string(command.name()) + " ", call);
    return command.run(call);
  }
  if (known) return error("wrong number of arguments for " + std::string(prefix) + std::string(w[0]));
  return error("unknown " + std::string(prefix) + "command " + std::string(w[0]));
}

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

// A number within [low, high], handed to the camera's setter as the type it
// takes; otherwise "<bad> <word><range>".
template <typename T, typename Arg>
Run number(T low, T high, std::string_view bad, std::string_view range, void (Emulator::*set)(int, Arg)) {
  return [=](const Call& c) {
    T value{};
    if (!parseNumber(c.args[0], low, high, value))
      return error(std::string(bad) + " " + std::string(c.args[0]) + std::string(range));
    (c.emulator.*set)(c.id, Arg(value));
    return kOk;
  };
}

Run milliseconds(std::string_view bad, void (Emulator::*set)(int, std::chrono::milliseconds)) {
  return number(0, kMaxDelayMs, bad, "", set);
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
Run picture(void (Emulator::*take)(int, int32_t)) {
  return [take](const Call& c) {
    int32_t value = 0;
    if (!c.args.empty() && !parseNumber(c.args[0], kInt32Min, kInt32Max, value))
      return error("bad value " + std::string(c.args[0]));
    (c.emulator.*take)(c.id, value);
    return kOk;
  };
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

std::string sdState(const Call& c) {
  const auto state = c.emulator.sdCardState(c.id);
  return "ok status=" + std::to_string(state.status) + " capacity=" + std::to_string(state.capacityMiB) +
         " free=" + std::to_string(state.freeMiB) +
         " pictures=" + std::to_string(c.emulator.storedPictures(c.id).size()) +
         " formats=" + std::to_string(c.emulator.formatCount(c.id)) + "\n";
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

std::string sdGet(const Call& c) {
  const auto bytes = c.emulator.storedPicture(c.id, std::string(c.args[0]));
  if (!bytes) return error("no picture " + std::string(c.args[0]));
  return "ok bytes=" + std::to_string(bytes->size()) + " hex=" + hex(*bytes) + "\n";
}

std::string sdListing(const Call& c) {
  auto bytes = c.args[0] == "none" ? std::optional<std::vector<uint8_t>>() : parseHex(c.args[0]);
  if (c.args[0] != "none" && !bytes) return error("bad hex " + std::string(c.args[0]));
  c.emulator.setListingOverride(c.id, std::move(bytes));
  return kOk;
}

// Listed by help after "sd <id> ".
const Table& sdCommands() {
  static const Table table = {
      {"state", sdState},
      {"ls [path]", sdList},
      {"add <path> <size>", sdAdd},
      {"get <path>", sdGet},
      {"clear", act([](const Call& c) { c.emulator.clearStoredPictures(c.id); })},
      {"card on|off", onOff(&Emulator::setSdCardPresent)},
      {"formattime <ms>", milliseconds("bad format time", &Emulator::setFormatDuration)},
      {"listing <hex>|none", sdListing},
  };
  return table;
}

std::string help();

const Table& commands() {
  static const Table table = {
      {"list", list},
      {"fault <id> <name> <value>", fault(&Emulator::discoveryFaults, &Emulator::setDiscoveryFaults)},
      {"faults <id>", [](const Call& c) { return "ok " + showFaults(c.emulator.discoveryFaults(c.id)) + "\n"; }},
      {"traffic",
       [](const Call& c) {
         return "ok probes=" + std::to_string(c.emulator.probeCount()) +
                " datagrams=" + std::to_string(c.emulator.datagramCount()) + "\n";
       }},
      {"clear", act([](const Call& c) { c.emulator.clearTraffic(); })},
      {"cfault <id> <command> <name> <value>",
       [](const Call& c) {
         int command = 0;
         if (!parseNumber(c.args[0], kInt32Min, kInt32Max, command))
           return error("bad command " + std::string(c.args[0]));
         return namedFault(c.emulator.commandFaults(c.id, command).value_or(CommandFaults{}), c.args[1], c.args[2],
                           [&](const auto& f) { c.emulator.setCommandFaults(c.id, command, f); });
       }},
      {"cfault <id> clear", act([](const Call& c) { c.emulator.clearCommandFaults(c.id); })},
      {"commands <id>",
       [](const Call& c) {
         return "ok n=" + std::to_string(c.emulator.commandCount(c.id)) +
                " connections=" + std::to_string(c.emulator.connectionCount(c.id)) +
                " open=" + std::to_string(c.emulator.openConnectionCount(c.id)) + "\n";
       }},
      {"push <id>",
       [](const Call& c) {
         const PushTarget target = c.emulator.pushTarget(c.id);
         return "ok address=" + dotted(target.address) + " port=" + std::to_string(target.port) +
                " flag=" + std::to_string(target.flag) + "\n";
       }},
      {"drop <id>", act([](const Call& c) { c.emulator.closeCommandConnections(c.id); })},
      {"listen <id> on|off", onOff(&Emulator::setCommandListening)},
      {"temp <id> <degrees>", number(-1000.0, 1000.0, "bad temperature", "", &Emulator::setTemperature)},
      {"savedelay <id> <ms>", milliseconds("bad delay", &Emulator::setSaveDelay)},
      {"get <id> <getCommand>", setting},
      {"short <id> on|off",
       [](const Call& c) {
         bool on = false;
         if (!parseBool(c.args[0], on)) return expectedOnOff(c.args[0]);
         c.emulator.setShortRecords(c.id, on);
         return kOk;
       }},
      {"clock <id>",
       [](const Call& c) {
         const auto [seconds, microseconds] = c.emulator.clock(c.id);
         return "ok seconds=" + std::to_string(seconds) + " microseconds=" + std::to_string(microseconds) +
                " extra=" + std::to_string(c.emulator.clockExtra(c.id)) + "\n";
       }},
      {"ntpdelay <id> <ms>", milliseconds("bad delay", &Emulator::setNtpDelay)},
      {"snap <id> [value]", picture(&Emulator::snapshot)},
      {"trigger <id> [value]", picture(&Emulator::trigger)},
      {"triggers <id> <perSecond>",
       number(0.0, kMaxPerSecond, "bad rate", " (0..1000 per second)", &Emulator::startTriggers)},
      {"pfault <id> <name> <value>", fault(&Emulator::pushFaults, &Emulator::setPushFaults)},
      {"pfault <id> clear", act([](const Call& c) { c.emulator.setPushFaults(c.id, PushFaults{}); })},
      {"picsize <id> <w> <h> <q>", size(&Emulator::setPictureSize)},
      {"pictures <id>", pictures},
      {"stream <id> on|off|auto",
       [](const Call& c) {
         const std::string_view state = c.args[0];
         if (state != "on" && state != "off" && state != "auto")
           return error("expected on, off or auto, got " + std::string(state));
         c.emulator.forceStream(c.id, state == "auto" ? std::nullopt : std::optional(state == "on"));
         return kOk;
       }},
      {"srate <id> <fps>",
       number(0.0, kMaxPerSecond, "bad rate", " (0..1000 frames per second)", &Emulator::setStreamRate)},
      {"ssize <id> <w> <h> <q>", size(&Emulator::setStreamFrameSize)},
      {"spad <id> <bytes>",
       number(size_t{0}, kMaxPadBytes, "bad size", " (0..67108864 bytes)", &Emulator::setStreamFramePad)},
      {"sfault <id> <name> <value>", fault(&Emulator::streamFaults, &Emulator::setStreamFaults)},
      {"sfault <id> clear", act([](const Call& c) { c.emulator.setStreamFaults(c.id, StreamFaults{}); })},
      {"frames <id>", frames},
      {"sd <id> ...", sdCommands()},
      {"help", [](const Call&) { return help(); }, false},
      {"quit",
       [](const Call& c) {
         if (c.onQuit) c.onQuit();
         return std::string("ok bye\n");
       }},
  };
  return table;
}

// Every listed usage, the subcommands' after their parent's words.
std::string help() {
  std::string out;
  const auto add = [&](const Table& table, std::string_view prefix, const auto& self) -> void {
    for (const auto& command : table) {
      if (command.sub)
        self(*command.sub, command.usage.substr(0, command.usage.rfind("...")), self);
      else if (command.listed)
        out.append(out.empty() ? "ok " : " | ").append(prefix).append(command.usage);
    }
  };
  add(commands(), "", add);
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
