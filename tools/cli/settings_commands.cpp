// vktcli get, get-default, set and settings: the catalog's settings read and
// written one at a time.
#include <array>
#include <iostream>
#include <string>
#include <vector>

#include "args.h"
#include "camera_session.h"
#include "commands.h"
#include "exit_codes.h"
#include "format.h"
#include "json_input.h"
#include "record_text.h"
#include "settings_catalog.h"
#include "settings_listing.h"
#include "usage.h"

namespace vktcli {

namespace {

enum class Access { Get, GetDefault, Set };

// The setting named by the first positional word, if it allows `access`;
// otherwise nullptr and `error` says why.
const Setting* ChooseSetting(const ParsedOptions& options, Access access, std::string& error) {
  if (options.positionals.empty()) {
    error = "missing NAME (vktcli settings lists them)";
    return nullptr;
  }
  const std::string& name = options.positionals.front();
  const Setting* setting = FindSetting(name);
  if (setting == nullptr) {
    error = "unknown setting '" + Printable(name) + "' (vktcli settings lists them)";
    return nullptr;
  }
  switch (access) {
    case Access::Get:
      if (!setting->get) error = name + " cannot be read";
      break;
    case Access::GetDefault:
      if (!setting->getDefault) error = name + " has no factory default";
      break;
    case Access::Set:
      if (!setting->set) error = name + " cannot be set";
      break;
  }
  return error.empty() ? setting : nullptr;
}

int RunRead(std::span<const std::string_view> args, std::ostream& out, std::ostream& err,
            std::string_view usage, Access access) {
  static constexpr std::array<OptionDef, 3> kOptions{{kCameraOptions[0], kCameraOptions[1], {"json", false}}};
  const ParseResult parsed = ParseOptions(args, kOptions, true);
  if (!parsed.ok()) return CommandUsageError(err, usage, parsed.error);
  if (parsed.options.help) {
    out << CommandHelp(usage);
    return kExitOk;
  }
  std::string error;
  const Setting* setting = ChooseSetting(parsed.options, access, error);
  if (setting == nullptr) return CommandUsageError(err, usage, error);
  if (parsed.options.positionals.size() > 1) {
    return CommandUsageError(err, usage, "unexpected argument '" + Printable(parsed.options.positionals[1]) + "'");
  }
  CameraTarget target;
  if (error = ReadCameraTarget(parsed.options, target); !error.empty()) return CommandUsageError(err, usage, error);

  CameraSession camera(target, err);
  if (!camera.ok()) return camera.failureExitCode();

  const SettingRead& read = access == Access::Get ? setting->get : setting->getDefault;
  std::vector<std::uint8_t> record(setting->layout->size, 0);
  if (read.call(camera.handle(), record, camera.timeoutMs()) != 0) return ReportCallFailure(err, read.callName);
  out << (parsed.options.Has("json") ? FormatRecordJson(*setting->layout, record)
                                     : FormatRecordText(*setting->layout, record));
  return kExitOk;
}

// The record `set` is to write, from positional values or JSON; on failure
// `error` says why.
RecordParse ReadNewValue(const Setting& setting, const ParsedOptions& options) {
  RecordParse result;
  const std::span<const std::string> values = std::span(options.positionals).subspan(1);
  const int sources = (values.empty() ? 0 : 1) + (options.Has("json") ? 1 : 0) + (options.Has("json-file") ? 1 : 0);
  if (sources != 1) {
    const bool jsonOnly = setting.layout->kind == SettingKind::Entries;
    result.error = sources == 0 ? (jsonOnly ? std::string(setting.name) + ": missing --json or --json-file"
                                            : std::string("missing VALUE (or --json)"))
                                : "give the value once: as VALUE..., --json or --json-file";
    return result;
  }
  if (!values.empty()) {
    result = ParseRecordArgs(*setting.layout, values);
  } else {
    std::string json;
    const std::string_view inline_json = options.Get("json").value_or("");
    if (options.Has("json") && inline_json != "-") {
      json = inline_json;
    } else {
      std::string readError;
      const std::string_view path = options.Has("json") ? "-" : *options.Get("json-file");
      std::optional<std::string> text = ReadJsonFile(path, std::cin, readError);
      if (!text) {
        result.error = readError;
        return result;
      }
      json = std::move(*text);
    }
    result = ParseRecordJson(*setting.layout, json);
  }
  if (result.ok() && setting.check != nullptr) result.error = setting.check(result.record);
  if (!result.ok()) {
    result.record.clear();
    result.error = std::string(setting.name) + ": " + result.error;
  }
  return result;
}

}  // namespace

int RunGetCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
  return RunRead(args, out, err, kGetUsage, Access::Get);
}

int RunGetDefaultCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
  return RunRead(args, out, err, kGetDefaultUsage, Access::GetDefault);
}

int RunSetCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
  static constexpr std::array<OptionDef, 4> kOptions{
      {kCameraOptions[0], kCameraOptions[1], {"json", true}, {"json-file", true}}};
  const ParseResult parsed = ParseOptions(args, kOptions, true);
  if (!parsed.ok()) return CommandUsageError(err, kSetUsage, parsed.error);
  if (parsed.options.help) {
    out << CommandHelp(kSetUsage);
    return kExitOk;
  }
  std::string error;
  const Setting* setting = ChooseSetting(parsed.options, Access::Set, error);
  if (setting == nullptr) return CommandUsageError(err, kSetUsage, error);
  CameraTarget target;
  if (error = ReadCameraTarget(parsed.options, target); !error.empty()) return CommandUsageError(err, kSetUsage, error);
  // Everything the user typed is checked before the camera is contacted.
  const RecordParse value = ReadNewValue(*setting, parsed.options);
  if (!value.ok()) return CommandUsageError(err, kSetUsage, value.error);

  CameraSession camera(target, err);
  if (!camera.ok()) return camera.failureExitCode();

  if (setting->set.call(camera.handle(), value.record, camera.timeoutMs()) != 0) {
    return ReportCallFailure(err, setting->set.callName);
  }
  return kExitOk;
}

int RunSettingsCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
  static constexpr std::array<OptionDef, 1> kOptions{{{"json", false}}};
  const ParseResult parsed = ParseOptions(args, kOptions);
  if (!parsed.ok()) return CommandUsageError(err, kSettingsUsage, parsed.error);
  if (parsed.options.help) {
    out << CommandHelp(kSettingsUsage);
    return kExitOk;
  }
  out << (parsed.options.Has("json") ? FormatSettingsJson(AllSettings()) : FormatSettingsTable(AllSettings()));
  return kExitOk;
}

}  // namespace vktcli
