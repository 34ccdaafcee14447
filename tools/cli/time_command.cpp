// vktcli time get|set|sync: the camera's clock.
#include <memory>
#include <optional>
#include <string>

#include "VKTNetSDK11.h"
#include "camera_session.h"
#include "commands.h"
#include "exit_codes.h"
#include "format.h"
#include "option_values.h"
#include "time_text.h"

namespace vktcli {

namespace {

struct TimeOptions : CameraOptions {
  bool json = false;
  bool now = false;
  std::optional<std::string> at;
  std::optional<std::string> extra;
};

int RunTimeGet(const TimeOptions& options, std::ostream& out, std::ostream& err) {
  CameraSession camera(ReadCameraTarget(options), err);
  if (!camera.ok()) return camera.failureExitCode();
  SYSTEMTIME time{};
  int extra = 0;
  if (VKT_GetDateTime(camera.handle(), &time, &extra, camera.timeoutMs()) != 0) {
    return ReportCallFailure(err, "VKT_GetDateTime");
  }
  out << (options.json ? FormatCameraClockJson(time, extra) : FormatCameraClockText(time, extra));
  return kExitOk;
}

int RunTimeSet(const TimeOptions& options, std::ostream&, std::ostream& err) {
  const CameraTarget target = ReadCameraTarget(options);
  if (options.now == options.at.has_value()) throw UsageError("time set needs exactly one of --now and --at");
  std::optional<SYSTEMTIME> at;
  if (options.at) {
    std::string error;
    at = ParseSystemTime(*options.at, error);
    if (!at) throw UsageError("--at " + error);
  }
  std::optional<std::int32_t> extra;
  if (options.extra) extra = Int32Option(*options.extra, "extra", "a 32-bit number");

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

int RunTimeSync(const TimeOptions& options, std::ostream&, std::ostream& err) {
  CameraSession camera(ReadCameraTarget(options), err);
  if (!camera.ok()) return camera.failureExitCode();
  if (VKT_NTPTiming(camera.handle(), camera.timeoutMs()) != 0) return ReportCallFailure(err, "VKT_NTPTiming");
  return kExitOk;
}

constexpr CommandHelp kTimeHelp{
    "time", "read or set a camera's clock, or make it synchronise",
    "Usage: vktcli time get --ip ADDRESS [--timeout MS] [--json]\n"
    "       vktcli time set (--now | --at \"YYYY-MM-DD HH:MM:SS[.mmm]\") [--extra N]\n"
    "                       --ip ADDRESS [--timeout MS]\n"
    "       vktcli time sync --ip ADDRESS [--timeout MS]\n",
    "The camera's clock, as the camera keeps it: no time zone is applied either\n"
    "way (the camera's own time zone is \"vktcli get time-zone\").\n"
    "\n"
    "  get   prints \"2026-12-08 22:30:00.000 extra=5\": the date and time, and\n"
    "        a word the camera keeps with its clock (its meaning is the camera's)\n"
    "  set   sets the clock; prints nothing on success\n"
    "  sync  makes the camera synchronise its clock now (by its SNTP\n"
    "        settings); prints nothing on success\n",
    "Examples:\n"
    "  vktcli time set --at \"2026-12-08 22:30:00\" --ip 192.168.1.10\n"
    "  vktcli time get --json --ip 192.168.1.10\n"};

constexpr OptionRow<TimeOptions> kTimeOptions[] = {
    kIpOption<TimeOptions>,
    TimeoutOption<TimeOptions>(),
    {"--json", &TimeOptions::json, "",
     "get: print {\"year\", \"month\", \"day\", \"hour\", \"minute\",\n"
     "\"second\", \"milliseconds\", \"dayOfWeek\" (0 Sunday), \"extra\"}"},
    {"--now", &TimeOptions::now, "", "set: the host's clock in UTC"},
    {"--at", &TimeOptions::at, "TIME",
     "set: this time, \"YYYY-MM-DD HH:MM:SS\" or with \".mmm\"\n"
     "milliseconds; it must exist in the calendar (no February 30)\n"
     "and lie within the camera's clock range, 1901-12-13 20:45:52\n"
     "to 2038-01-19 03:14:07"},
    {"--extra", &TimeOptions::extra, "N", "set: the extra word to store (default: keep the camera's)"},
};

}  // namespace

void AddTimeCommand(CommandLine& cli) {
  auto options = std::make_shared<TimeOptions>();
  CLI::App& time = cli.AddCommand(kTimeHelp, options, kTimeOptions);
  // An option of another action is a mistake worth naming, not something to
  // ignore: "time get --at ..." would otherwise look as if it had set the clock.
  cli.AddAction(time, "get", {"json"}, options, RunTimeGet);
  cli.AddAction(time, "set", {"now", "at", "extra"}, options, RunTimeSet);
  cli.AddAction(time, "sync", {}, options, RunTimeSync);
}

}  // namespace vktcli
