// vktcli time get|set|sync: the camera's clock.
#include <array>
#include <string>

#include "VKTNetSDK11.h"
#include "args.h"
#include "camera_session.h"
#include "commands.h"
#include "exit_codes.h"
#include "format.h"
#include "time_text.h"
#include "usage.h"

namespace vktcli {

namespace {

struct TimeAction {
  std::string_view name;
  std::array<std::string_view, 3> options;  // besides --ip and --timeout; "" is unused
};

constexpr std::array<TimeAction, 3> kTimeActions{{
    {"get", {"json", "", ""}},
    {"set", {"now", "at", "extra"}},
    {"sync", {"", "", ""}},
}};

const TimeAction* FindTimeAction(std::string_view name) {
  for (const TimeAction& action : kTimeActions) {
    if (action.name == name) return &action;
  }
  return nullptr;
}

// An option of another action is a mistake worth naming, not something to
// ignore: "time get --at ..." would otherwise look as if it had set the clock.
std::string CheckOptionsFit(const ParsedOptions& options, const TimeAction& action) {
  for (const auto& [name, value] : options.values) {
    if (name == "ip" || name == "timeout") continue;
    bool allowed = false;
    for (std::string_view option : action.options) allowed = allowed || (!option.empty() && option == name);
    if (!allowed) return "--" + name + " does not go with \"time " + std::string(action.name) + "\"";
  }
  return {};
}

int RunTimeGet(const CameraTarget& target, bool json, std::ostream& out, std::ostream& err) {
  CameraSession camera(target, err);
  if (!camera.ok()) return camera.failureExitCode();
  SYSTEMTIME time{};
  int extra = 0;
  if (VKT_GetDateTime(camera.handle(), &time, &extra, camera.timeoutMs()) != 0) {
    return ReportCallFailure(err, "VKT_GetDateTime");
  }
  out << (json ? FormatCameraClockJson(time, extra) : FormatCameraClockText(time, extra));
  return kExitOk;
}

int RunTimeSet(const CameraTarget& target, const ParsedOptions& options, std::ostream& err) {
  if (options.Has("now") == options.Has("at")) {
    return CommandUsageError(err, kTimeUsage, "time set needs exactly one of --now and --at");
  }
  std::optional<SYSTEMTIME> at;
  if (const std::optional<std::string_view> text = options.Get("at")) {
    std::string error;
    at = ParseSystemTime(*text, error);
    if (!at) return CommandUsageError(err, kTimeUsage, "--at " + error);
  }
  std::optional<std::int32_t> extra;
  if (const std::optional<std::string_view> text = options.Get("extra")) {
    extra = ParseInt32(*text);
    if (!extra) return CommandUsageError(err, kTimeUsage, "--extra needs a 32-bit number, not '" + Printable(*text) + "'");
  }

  CameraSession camera(target, err);
  if (!camera.ok()) return camera.failureExitCode();
  if (!extra) {
    // The extra word means something to the camera only; setting the clock
    // should not change it behind the user's back.
    SYSTEMTIME current{};
    int currentExtra = 0;
    if (VKT_GetDateTime(camera.handle(), &current, &currentExtra, camera.timeoutMs()) != 0) {
      return ReportCallFailure(err, "VKT_GetDateTime");
    }
    extra = currentExtra;
  }
  // Taken after the search and the read, so the camera gets the time of the set.
  const SYSTEMTIME time = at ? *at : HostUtcNow();
  if (VKT_SetDateTime(camera.handle(), &time, *extra, camera.timeoutMs()) != 0) {
    return ReportCallFailure(err, "VKT_SetDateTime");
  }
  return kExitOk;
}

int RunTimeSync(const CameraTarget& target, std::ostream& err) {
  CameraSession camera(target, err);
  if (!camera.ok()) return camera.failureExitCode();
  if (VKT_NTPTiming(camera.handle(), camera.timeoutMs()) != 0) return ReportCallFailure(err, "VKT_NTPTiming");
  return kExitOk;
}

}  // namespace

int RunTimeCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
  static constexpr std::array<OptionDef, 6> kOptions{
      {kCameraOptions[0], kCameraOptions[1], {"json", false}, {"now", false}, {"at", true}, {"extra", true}}};
  const ParseResult parsed = ParseOptions(args, kOptions, true);
  if (!parsed.ok()) return CommandUsageError(err, kTimeUsage, parsed.error);
  if (parsed.options.help) {
    out << CommandHelp(kTimeUsage);
    return kExitOk;
  }
  const std::vector<std::string>& words = parsed.options.positionals;
  if (words.empty()) return CommandUsageError(err, kTimeUsage, "missing get, set or sync");
  const TimeAction* action = FindTimeAction(words.front());
  if (action == nullptr) {
    return CommandUsageError(err, kTimeUsage, "unknown action '" + Printable(words.front()) + "' (get, set or sync)");
  }
  if (words.size() > 1) {
    return CommandUsageError(err, kTimeUsage, "unexpected argument '" + Printable(words[1]) + "'");
  }
  if (std::string error = CheckOptionsFit(parsed.options, *action); !error.empty()) {
    return CommandUsageError(err, kTimeUsage, error);
  }
  CameraTarget target;
  if (std::string error = ReadCameraTarget(parsed.options, target); !error.empty()) {
    return CommandUsageError(err, kTimeUsage, error);
  }
  if (action->name == "get") return RunTimeGet(target, parsed.options.Has("json"), out, err);
  if (action->name == "set") return RunTimeSet(target, parsed.options, err);
  return RunTimeSync(target, err);
}

}  // namespace vktcli
