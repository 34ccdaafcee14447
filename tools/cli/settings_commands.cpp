// vktcli get, get-default, set and settings: the catalog's settings read and
// written one at a time.
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "camera_session.h"
#include "commands.h"
#include "exit_codes.h"
#include "format.h"
#include "json_text.h"
#include "option_values.h"
#include "record_text.h"
#include "settings_catalog.h"

namespace vktcli {

namespace {

enum class Access { Get, GetDefault, Set };

// The setting NAME, if it allows `access`; throws UsageError.
const Setting& ChooseSetting(const std::optional<std::string>& name, Access access) {
  if (!name) throw UsageError("missing NAME (vktcli settings lists them)");
  const Setting* setting = FindSetting(*name);
  if (setting == nullptr) throw UsageError("unknown setting " + Quoted(*name) + " (vktcli settings lists them)");
  if (access == Access::Get && !setting->get) throw UsageError(*name + " cannot be read");
  if (access == Access::GetDefault && !setting->getDefault) throw UsageError(*name + " has no factory default");
  if (access == Access::Set && !setting->set) throw UsageError(*name + " cannot be set");
  return *setting;
}

struct ReadOptions : CameraOptions {
  std::optional<std::string> name;
  bool json = false;
};

template <Access access>
int RunRead(const ReadOptions& options, std::ostream& out, std::ostream& err) {
  const Setting& setting = ChooseSetting(options.name, access);
  CameraSession camera(ReadCameraTarget(options), err);
  if (!camera.ok()) return camera.failureExitCode();

  const SettingRead& read = access == Access::Get ? setting.get : setting.getDefault;
  std::vector<std::uint8_t> record(setting.layout->size, 0);
  if (read.call(camera.handle(), record, camera.timeoutMs()) != 0) return ReportCallFailure(err, read.callName);
  out << (options.json ? FormatRecordJson(*setting.layout, record) : FormatRecordText(*setting.layout, record));
  return kExitOk;
}

struct SetOptions : CameraOptions {
  std::optional<std::string> name;
  std::vector<std::string> values;
  std::optional<std::string> json;
  std::optional<std::string> jsonFile;
};

// The record `set` is to write, from the values or JSON; throws UsageError.
std::vector<std::uint8_t> ReadNewValue(const Setting& setting, const SetOptions& options) {
  const int sources = (options.values.empty() ? 0 : 1) + (options.json ? 1 : 0) + (options.jsonFile ? 1 : 0);
  if (sources != 1) {
    const bool jsonOnly = setting.layout->kind == SettingKind::Entries;
    throw UsageError(sources == 0 ? (jsonOnly ? std::string(setting.name) + ": missing --json or --json-file"
                                              : std::string("missing VALUE (or --json)"))
                                  : "give the value once: as VALUE..., --json or --json-file");
  }
  RecordParse result;
  if (!options.values.empty()) {
    result = ParseRecordArgs(*setting.layout, options.values);
  } else if (options.json && *options.json != "-") {
    result = ParseRecordJson(*setting.layout, *options.json);
  } else {
    std::string readError;
    const std::optional<std::string> text = ReadJsonFile(options.json ? "-" : *options.jsonFile, std::cin, readError);
    if (!text) throw UsageError(readError);
    result = ParseRecordJson(*setting.layout, *text);
  }
  if (result.ok() && setting.check != nullptr) result.error = setting.check(result.record);
  if (!result.ok()) throw UsageError(std::string(setting.name) + ": " + result.error);
  return result.record;
}

int RunSet(const SetOptions& options, std::ostream&, std::ostream& err) {
  const Setting& setting = ChooseSetting(options.name, Access::Set);
  const CameraTarget target = ReadCameraTarget(options);
  // Everything the user typed is checked before the camera is contacted.
  const std::vector<std::uint8_t> record = ReadNewValue(setting, options);

  CameraSession camera(target, err);
  if (!camera.ok()) return camera.failureExitCode();
  if (setting.set.call(camera.handle(), record, camera.timeoutMs()) != 0) {
    return ReportCallFailure(err, setting.set.callName);
  }
  return kExitOk;
}

struct SettingsOptions {
  bool json = false;
};

int RunSettings(const SettingsOptions& options, std::ostream& out, std::ostream&) {
  out << (options.json ? FormatSettingsJson(AllSettings()) : FormatSettingsTable(AllSettings()));
  return kExitOk;
}

constexpr CommandHelp kSettingsHelp{
    "settings", "list the settings get and set know",
    "Usage: vktcli settings [--json]\n",
    "Lists the setting NAMEs of get, get-default and set: whether each is a\n"
    "single value, a record (and its words or bytes) or a row of entries,\n"
    "whether it can be read, written and read as a factory default, and what\n"
    "it is. Contacts no camera.\n"};

constexpr OptionRow<SettingsOptions> kSettingsOptions[] = {
    {"--json", &SettingsOptions::json, "", "print a JSON array (with each record's field names)"},
};

constexpr CommandHelp kGetHelp{
    "get", "read a setting of a camera",
    "Usage: vktcli get NAME --ip ADDRESS [--timeout MS] [--json]\n",
    "Reads the setting NAME of the camera at ADDRESS and prints it.\n"
    "\"vktcli settings\" lists the names and what each allows.\n"
    "\n"
    "Output:\n"
    "  a value        the number, e.g. 90\n"
    "  a record       one line per field: \"word0: 5\", \"word1: 7\", ...;\n"
    "                 addresses as dotted quads (\"ipAddress: 192.168.1.10\")\n"
    "  a byte record  \"hex: 00ff...\" with every byte, and \"text: ...\" with\n"
    "                 the printable text found in them, if any\n"
    "  entries        one line per entry: \"entry 0: enabled=1 number4=0 ...\"\n"
    "With --json: {\"value\": 90}, {\"word0\": 5, \"word1\": 7}, {\"hex\": \"00ff...\"}\n"
    "or {\"entries\": [{\"enabled\": 1, ...}, ...]}, which \"vktcli set NAME --json\"\n"
    "takes back unchanged.\n"};

constexpr CommandHelp kGetDefaultHelp{
    "get-default", "read the factory value of a setting",
    "Usage: vktcli get-default NAME --ip ADDRESS [--timeout MS] [--json]\n",
    "Reads the camera's factory value of the setting NAME and prints it like\n"
    "\"vktcli get\". Only some settings have one: see the DEFAULT column of\n"
    "\"vktcli settings\".\n"};

constexpr OptionRow<ReadOptions> kReadOptions[] = {
    {"NAME", &ReadOptions::name},
    kIpOption<ReadOptions>,
    TimeoutOption<ReadOptions>(),
    {"--json", &ReadOptions::json, "", "print JSON"},
};

constexpr CommandHelp kSetHelp{
    "set", "write a setting of a camera",
    "Usage: vktcli set NAME VALUE... --ip ADDRESS [--timeout MS]\n"
    "       vktcli set NAME --json JSON --ip ADDRESS [--timeout MS]\n"
    "       vktcli set NAME --json-file PATH --ip ADDRESS [--timeout MS]\n",
    "Writes the setting NAME of the camera at ADDRESS. Prints nothing on\n"
    "success. \"vktcli settings\" lists the names and what each allows.\n"
    "\n"
    "VALUE:\n"
    "  a value        one number\n"
    "  a record       one value per field, every field, in order: numbers for\n"
    "                 words, dotted quads for addresses\n"
    "  a byte record  one hex string; shorter hex is padded with zero bytes\n"
    "  entries        no VALUE: give every entry with --json or --json-file\n"
    "Numbers are decimal, negative or hex with 0x (90, -5, 0x1f) and must fit\n"
    "a signed 32-bit word. The camera call may still refuse a value it does\n"
    "not take (rotation 45, say).\n"
    "\n"
    "Take care with these:\n"
    "  network         a new ipAddress moves the camera to that address as soon\n"
    "                  as the set succeeds; later commands need --ip NEW_ADDRESS.\n"
    "                  Addresses 0.x.x.x, multicast and broadcast are refused.\n"
    "  trigger-inputs  writes the flash-lamp-param words as 0; set those again\n"
    "                  afterwards if they matter.\n",
    "Examples:\n"
    "  vktcli set rotation 180 --ip 192.168.1.10\n"
    "  vktcli set ae-param 120 -3 --ip 192.168.1.10\n"
    "  vktcli set network 192.168.1.20 255.255.255.0 192.168.1.1 --ip 192.168.1.10\n"
    "  vktcli get ae-param --json --ip 192.168.1.10 | vktcli set ae-param --json - --ip 192.168.1.11\n"
    "  vktcli get trigger-inputs --json --ip 192.168.1.10 > triggers.json\n"
    "  vktcli set trigger-inputs --json-file triggers.json --ip 192.168.1.10\n"};

constexpr OptionRow<SetOptions> kSetOptions[] = {
    {"NAME", &SetOptions::name},
    {"VALUE", &SetOptions::values},
    kIpOption<SetOptions>,
    TimeoutOption<SetOptions>(),
    {"--json", &SetOptions::json, "JSON",
     "the setting as \"vktcli get NAME --json\" prints it;\n"
     "\"-\" reads it from standard input"},
    {"--json-file", &SetOptions::jsonFile, "PATH", "the same from a file (\"-\": standard input)"},
};

}  // namespace

void AddSettingsCommands(CommandLine& cli) {
  cli.AddCommand(kSettingsHelp, kSettingsOptions, RunSettings);
  cli.AddCommand(kGetHelp, kReadOptions, RunRead<Access::Get>);
  cli.AddCommand(kGetDefaultHelp, kReadOptions, RunRead<Access::GetDefault>);
  cli.AddCommand(kSetHelp, kSetOptions, RunSet);
}

}  // namespace vktcli
