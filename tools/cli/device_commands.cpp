// vktcli save, reset, state and param-state: calls on the camera as a whole
// rather than on one setting.
#include <array>
#include <cstring>
#include <string>

#include "VKTNetSDK11.h"
#include "args.h"
#include "camera_session.h"
#include "commands.h"
#include "exit_codes.h"
#include "format.h"
#include "json_lite.h"
#include "settings_catalog.h"
#include "usage.h"

namespace vktcli {

namespace {

// Parses the options of a camera subcommand (plus `extra`); fills `target`.
// Returns -1 to go on, or the exit code to return right away.
template <std::size_t N>
int ParseCameraCommand(std::span<const std::string_view> args, std::array<OptionDef, N> options,
                       std::string_view usage, std::ostream& out, std::ostream& err, ParsedOptions& parsedOptions,
                       CameraTarget& target) {
  const ParseResult parsed = ParseOptions(args, options);
  if (!parsed.ok()) return CommandUsageError(err, usage, parsed.error);
  if (parsed.options.help) {
    out << CommandHelp(usage);
    return kExitOk;
  }
  if (std::string error = ReadCameraTarget(parsed.options, target); !error.empty()) {
    return CommandUsageError(err, usage, error);
  }
  parsedOptions = parsed.options;
  return -1;
}

// The values "state" shows after VKT_GetState, read through the catalog so
// the calls are named in one place.
struct StateItem {
  std::string_view setting;
  std::string_view jsonKey;
};
constexpr std::array<StateItem, 5> kStateItems{{{"temperature", "temperature"},
                                                {"work-mode", "workMode"},
                                                {"camera-mode", "cameraMode"},
                                                {"electricity", "electricity"},
                                                {"flash-lamp", "flashLamp"}}};

}  // namespace

int RunSaveCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
  ParsedOptions options;
  CameraTarget target;
  if (int code = ParseCameraCommand(args, kCameraOptions, kSaveUsage, out, err, options, target); code >= 0) {
    return code;
  }
  CameraSession camera(target, err);
  if (!camera.ok()) return camera.failureExitCode();
  if (VKT_SaveConfig(camera.handle(), camera.timeoutMs()) != 0) return ReportCallFailure(err, "VKT_SaveConfig");
  return kExitOk;
}

int RunResetCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
  static constexpr std::array<OptionDef, 3> kOptions{{kCameraOptions[0], kCameraOptions[1], {"mode", true}}};
  ParsedOptions options;
  CameraTarget target;
  if (int code = ParseCameraCommand(args, kOptions, kResetUsage, out, err, options, target); code >= 0) {
    return code;
  }
  const std::optional<std::string_view> modeText = options.Get("mode");
  // No default: a reset restarts the camera, so the mode must be chosen.
  if (!modeText) return CommandUsageError(err, kResetUsage, "--mode is required");
  // Any number goes to the camera call, which decides which modes exist.
  const std::optional<std::int32_t> mode = ParseInt32(*modeText);
  if (!mode) return CommandUsageError(err, kResetUsage, "--mode needs a number, not '" + Printable(*modeText) + "'");

  CameraSession camera(target, err);
  if (!camera.ok()) return camera.failureExitCode();
  if (VKT_ResetCamera(camera.handle(), *mode, camera.timeoutMs()) != 0) return ReportCallFailure(err, "VKT_ResetCamera");
  return kExitOk;
}

int RunStateCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
  static constexpr std::array<OptionDef, 3> kOptions{{kCameraOptions[0], kCameraOptions[1], {"json", false}}};
  ParsedOptions options;
  CameraTarget target;
  if (int code = ParseCameraCommand(args, kOptions, kStateUsage, out, err, options, target); code >= 0) {
    return code;
  }
  const bool json = options.Has("json");
  CameraSession camera(target, err);
  if (!camera.ok()) return camera.failureExitCode();

  // A camera that does not answer would make every further call wait out
  // its time-out too.
  int state = 1;
  if (VKT_GetState(camera.handle(), &state, camera.timeoutMs()) != 0) return ReportCallFailure(err, "VKT_GetState");

  int exitCode = kExitOk;
  std::string text = "state: " + std::to_string(state) + "\n";
  JsonObjectWriter object;
  object.Number("state", state);
  for (const StateItem& item : kStateItems) {
    const Setting* setting = FindSetting(item.setting);
    std::array<std::uint8_t, sizeof(int)> record{};
    // Each failure is reported and the rest still shown.
    if (setting == nullptr || !setting->get ||
        setting->get.call(camera.handle(), record, camera.timeoutMs()) != 0) {
      exitCode = ReportCallFailure(err, setting != nullptr ? setting->get.callName : item.setting);
      object.Null(item.jsonKey);
      continue;
    }
    int value;
    std::memcpy(&value, record.data(), sizeof value);
    text += std::string(item.setting) + ": " + std::to_string(value) + "\n";
    object.Number(item.jsonKey, value);
  }
  out << (json ? object.Finish() + "\n" : text);
  return exitCode;
}

int RunParamStateCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
  static constexpr std::array<OptionDef, 3> kOptions{{kCameraOptions[0], kCameraOptions[1], {"json", false}}};
  ParsedOptions options;
  CameraTarget target;
  if (int code = ParseCameraCommand(args, kOptions, kParamStateUsage, out, err, options, target); code >= 0) {
    return code;
  }
  CameraSession camera(target, err);
  if (!camera.ok()) return camera.failureExitCode();
  if (VKT_GetParamState(camera.handle(), camera.timeoutMs()) != 0) return ReportCallFailure(err, "VKT_GetParamState");
  out << (options.Has("json") ? JsonObjectWriter().String("state", "ready").Finish() + "\n" : std::string("ready\n"));
  return kExitOk;
}

}  // namespace vktcli
