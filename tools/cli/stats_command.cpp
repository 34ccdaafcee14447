// vktcli stats: the library's counters for one camera and for the whole
// library, once or once a second until stopped.
#include <array>
#include <chrono>
#include <optional>
#include <string>

#include "VKTNetSDK11.h"
#include "args.h"
#include "camera_session.h"
#include "commands.h"
#include "counter_text.h"
#include "exit_codes.h"
#include "format.h"
#include "statistics_calls.h"
#include "stop_request.h"
#include "usage.h"

namespace vktcli {

namespace {

using Clock = std::chrono::steady_clock;

struct StatsRequest {
  CameraTarget target;
  bool json = false;
  bool watch = false;
  std::optional<unsigned> count;  // reports with --watch; none: until stopped
};

// Returns the usage error, or "" when `request` is filled.
std::string ReadStatsRequest(const ParsedOptions& options, StatsRequest& request) {
  if (std::string error = ReadCameraTarget(options, request.target); !error.empty()) return error;
  request.json = options.Has("json");
  request.watch = options.Has("watch");
  if (const std::optional<std::string_view> count = options.Get("count")) {
    if (!request.watch) return "--count needs --watch";
    const std::optional<unsigned> number = ParseMilliseconds(*count);
    if (!number || *number == 0) {
      return "--count needs a whole number of at least 1, not '" + Printable(*count) + "'";
    }
    request.count = *number;
  }
  return {};
}

// One state request, so that the command counters show how the camera's
// command channel fares. A failure is shown and counted, and does not end
// the command: that is what a watch is for.
void ProbeCamera(const CameraSession& camera, std::ostream& err) {
  int state = 0;
  if (VKT_GetState(camera.handle(), &state, camera.timeoutMs()) != 0) ReportCallFailure(err, "VKT_GetState");
}

}  // namespace

int RunStatsCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
  static constexpr std::array<OptionDef, 5> kOptions{
      {kCameraOptions[0], kCameraOptions[1], {"json", false}, {"watch", false}, {"count", true}}};
  const ParseResult parsed = ParseOptions(args, kOptions);
  if (!parsed.ok()) return CommandUsageError(err, kStatsUsage, parsed.error);
  if (parsed.options.help) {
    out << CommandHelp(kStatsUsage);
    return kExitOk;
  }
  StatsRequest request;
  if (std::string error = ReadStatsRequest(parsed.options, request); !error.empty()) {
    return CommandUsageError(err, kStatsUsage, error);
  }

  // Before the library starts: its threads must inherit the blocked signals.
  // A single report leaves SIGINT and SIGTERM as they are.
  StopRequest stop;
  std::optional<StopOnSignals> signals;
  if (request.watch) signals.emplace(stop);
  CameraSession camera(request.target, err);
  if (!camera.ok()) return camera.failureExitCode();

  StatisticsReport report;
  report.ip = FormatIPv4(request.target.ip);
  const Clock::time_point start = Clock::now();
  for (unsigned reported = 0;; ++reported) {
    // Due a whole second after the previous one was due, so a slow probe
    // does not make the reports drift.
    if (reported > 0 && stop.WaitUntil(start + std::chrono::seconds(reported))) break;
    ProbeCamera(camera, err);
    const std::optional<CameraStatistics> stats = ReadCameraStatistics(camera.handle(), camera.timeoutMs());
    if (!stats) return ReportCallFailure(err, "VKT_GetCameraStatistics");
    report.camera = *stats;
    report.library = ReadLibraryStatistics();
    if (request.watch) report.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (request.json) {
      out << FormatStatisticsJson(report);
    } else {
      out << (reported > 0 ? "\n" : "") << FormatStatisticsText(report);
    }
    // With --watch a reader at the other end of a pipe sees each report as
    // it comes.
    out.flush();
    if (!request.watch || (request.count && reported + 1 >= *request.count)) break;
  }
  return kExitOk;
}

}  // namespace vktcli
