// vktcli save, reset, state and param-state: calls on the camera as a whole
// rather than on one setting.
#include <array>
#include <cstring>
#include <optional>
#include <string>

#include "VKTNetSDK11.h"
#include "camera_session.h"
#include "commands.h"
#include "exit_codes.h"
#include "format.h"
#include "json_text.h"
#include "option_values.h"
#include "settings_catalog.h"

namespace vktcli {

namespace {

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

int RunSave(const CameraOptions& options, std::ostream&, std::ostream& err) {
  CameraSession camera(ReadCameraTarget(options), err);
  if (!camera.ok()) return camera.failureExitCode();
  if (VKT_SaveConfig(camera.handle(), camera.timeoutMs()) != 0) return ReportCallFailure(err, "VKT_SaveConfig");
  return kExitOk;
}

struct ResetOptions : CameraOptions {
  std::optional<std::string> mode;
};

int RunReset(const ResetOptions& options, std::ostream&, std::ostream& err) {
  const CameraTarget target = ReadCameraTarget(options);
  // No default: a reset restarts the camera, so the mode must be chosen.
  if (!options.mode) throw UsageError("--mode is required");
  // Any number goes to the camera call, which decides which modes exist.
  const std::int32_t mode = Int32Option(*options.mode, "mode");
  CameraSession camera(target, err);
  if (!camera.ok()) return camera.failureExitCode();
  if (VKT_ResetCamera(camera.handle(), mode, camera.timeoutMs()) != 0) return ReportCallFailure(err, "VKT_ResetCamera");
  return kExitOk;
}

struct StateOptions : CameraOptions {
  bool json = false;
};

int RunState(const StateOptions& options, std::ostream& out, std::ostream& err) {
  CameraSession camera(ReadCameraTarget(options), err);
  if (!camera.ok()) return camera.failureExitCode();

  // A camera that does not answer would make every further call wait out
  // its time-out too.
  int state = 1;
  if (VKT_GetState(camera.handle(), &state, camera.timeoutMs()) != 0) return ReportCallFailure(err, "VKT_GetState");

  int exitCode = kExitOk;
  std::string text = "state: " + std::to_string(state) + "\n";
  Json object{{"state", state}};
  for (const StateItem& item : kStateItems) {
    const Setting* setting = FindSetting(item.setting);
    std::array<std::uint8_t, sizeof(int)> record{};
    // Each failure is reported and the rest still shown.
    if (setting == nullptr || !setting->get ||
        setting->get.call(camera.handle(), record, camera.timeoutMs()) != 0) {
      exitCode = ReportCallFailure(err, setting != nullptr ? setting->get.callName : item.setting);
      object[std::string(item.jsonKey)] = nullptr;
      continue;
    }
    int value;
    std::memcpy(&value, record.data(), sizeof value);
    text += std::string(item.setting) + ": " + std::to_string(value) + "\n";
    object[std::string(item.jsonKey)] = value;
  }
  out << (options.json ? JsonLine(object) + "\n" : text);
  return exitCode;
}

int RunParamState(const StateOptions& options, std::ostream& out, std::ostream& err) {
  CameraSession camera(ReadCameraTarget(options), err);
  if (!camera.ok()) return camera.failureExitCode();
  if (VKT_GetParamState(camera.handle(), camera.timeoutMs()) != 0) return ReportCallFailure(err, "VKT_GetParamState");
  out << (options.json ? JsonLine({{"state", "ready"}}) + "\n" : std::string("ready\n"));
  return kExitOk;
}

constexpr CommandHelp kSaveHelp{
    "save", "make a camera store its settings permanently",
    "Usage: vktcli save --ip ADDRESS [--timeout MS]\n",
    "Makes the camera store its settings permanently. Prints nothing on\n"
    "success; fails with VKT_ERR_SAVE_PENDING when the camera has not confirmed\n"
    "the save within the time-out.\n"};

constexpr OptionRow<CameraOptions> kCameraOptions[] = {kIpOption<CameraOptions>, TimeoutOption<CameraOptions>()};

constexpr CommandHelp kResetHelp{
    "reset", "reset (restart) a camera",
    "Usage: vktcli reset --ip ADDRESS --mode 0|1 [--timeout MS]\n",
    "Resets the camera, which then restarts. Prints nothing on success.\n"};

constexpr OptionRow<ResetOptions> kResetOptions[] = {
    {"--mode", &ResetOptions::mode, "M", "the reset mode, 0 or 1 (required)"},
    kIpOption<ResetOptions>,
    TimeoutOption<ResetOptions>(),
};

constexpr CommandHelp kStateHelp{
    "state", "show whether a camera answers, and its temperature and modes",
    "Usage: vktcli state --ip ADDRESS [--timeout MS] [--json]\n",
    "Shows whether the camera answers (state: 0) and its temperature, work mode,\n"
    "camera mode, electricity and flash lamp state, one \"name: value\" line each.\n"
    "A value whose call fails is left out (null in JSON), the failure is\n"
    "reported and the exit code is 1.\n"};

constexpr OptionRow<StateOptions> kStateOptions[] = {
    kIpOption<StateOptions>,
    TimeoutOption<StateOptions>(),
    {"--json", &StateOptions::json, "",
     "print one JSON object: state, temperature, workMode,\n"
     "cameraMode, electricity, flashLamp"},
};

constexpr CommandHelp kParamStateHelp{
    "param-state", "show whether a camera is ready for commands",
    "Usage: vktcli param-state --ip ADDRESS [--timeout MS] [--json]\n",
    "Prints \"ready\" when the camera takes commands (no configuration save\n"
    "pending in this connection), else fails with the reason. Since every\n"
    "vktcli run adds the camera afresh, this mostly shows the camera is reachable.\n"};

constexpr OptionRow<StateOptions> kParamStateOptions[] = {
    kIpOption<StateOptions>,
    TimeoutOption<StateOptions>(),
    {"--json", &StateOptions::json, "", "print {\"state\": \"ready\"}"},
};

}  // namespace

void AddDeviceCommands(CommandLine& cli) {
  cli.AddCommand(kSaveHelp, kCameraOptions, RunSave);
  cli.AddCommand(kResetHelp, kResetOptions, RunReset);
  cli.AddCommand(kStateHelp, kStateOptions, RunState);
  cli.AddCommand(kParamStateHelp, kParamStateOptions, RunParamState);
}

}  // namespace vktcli
