// vktcli stats: the library's counters for one camera and for the whole
// library, once or once a second until stopped.
#include <chrono>
#include <optional>
#include <string>

#include "VKTNetSDK11.h"
#include "camera_session.h"
#include "commands.h"
#include "counter_text.h"
#include "exit_codes.h"
#include "format.h"
#include "option_values.h"
#include "stop_request.h"

namespace vktcli {

namespace {

using Clock = std::chrono::steady_clock;

struct StatsOptions : CameraOptions {
  bool json = false;
  bool watch = false;
  std::optional<std::string> count;
};

// One state request, so that the command counters show how the camera's
// command channel fares. A failure is shown and counted, and does not end
// the command: that is what a watch is for.
void ProbeCamera(const CameraSession& camera, std::ostream& err) {
  int state = 0;
  if (VKT_GetState(camera.handle(), &state, camera.timeoutMs()) != 0) ReportCallFailure(err, "VKT_GetState");
}

int RunStats(const StatsOptions& options, std::ostream& out, std::ostream& err) {
  const CameraTarget target = ReadCameraTarget(options);
  std::optional<unsigned> count;  // reports with --watch; none: until stopped
  if (options.count) {
    if (!options.watch) throw UsageError("--count needs --watch");
    count = PositiveOption(*options.count, "count", "");
  }

  // Before the library starts: its threads must inherit the blocked signals.
  // A single report leaves SIGINT and SIGTERM as they are.
  StopRequest stop;
  std::optional<StopOnSignals> signals;
  if (options.watch) signals.emplace(stop);
  CameraSession camera(target, err);
  if (!camera.ok()) return camera.failureExitCode();

  StatisticsReport report;
  report.ip = FormatIPv4(target.ip);
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
    if (options.watch) report.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (options.json) {
      out << FormatStatisticsJson(report);
    } else {
      out << (reported > 0 ? "\n" : "") << FormatStatisticsText(report);
    }
    // With --watch a reader at the other end of a pipe sees each report as
    // it comes.
    out.flush();
    if (!options.watch || (count && reported + 1 >= *count)) break;
  }
  return kExitOk;
}

constexpr CommandHelp kStatsHelp{
    "stats", "show the library's diagnostic counters for a camera",
    "Usage: vktcli stats --ip ADDRESS [--timeout MS] [--json] [--watch [--count N]]\n",
    "Adds the camera at ADDRESS, asks it for its state once (one command, so the\n"
    "command counters show how its command channel fares) and prints the\n"
    "library's counters for the camera and for the library as a whole, one line\n"
    "per group:\n"
    "  commands           requests sent; failed exchanges (their sum) by class:\n"
    "                     time-outs, network errors, refusals (a negative reply),\n"
    "                     mismatches (a reply to another request, or malformed);\n"
    "                     reconnects: connections made again after a failure\n"
    "  pictures           pushed pictures handed on, their bytes, the push\n"
    "                     connections the camera opened, and those open now\n"
    "  picture drops      pushed pictures dropped, by reason: bad marker (no APP1\n"
    "                     marker where the record belongs), short APP1 (too short\n"
    "                     for the record), oversize (over 4 MiB), time window (not\n"
    "                     complete within one second), closed early (the camera\n"
    "                     closed before the end), camera deleted (meanwhile), no\n"
    "                     callback (the camera was added without one), over\n"
    "                     share (the camera already had 8 connections open:\n"
    "                     closed unread), buffer cap (no room under the 256 MiB\n"
    "                     of pictures arriving, for the whole second)\n"
    "  stream             stream frames handed on, and their bytes\n"
    "  stream drops       frames dropped: gap (a packet lost or repeated), past\n"
    "                     last (a packet index past the frame's last), oversize\n"
    "                     (announced over 4 MiB)\n"
    "  ignored datagrams  stream datagrams of the wrong size (not 1024 bytes) or\n"
    "                     from a wrong sender (not the camera's address)\n"
    "  library            what belongs to no camera: picture connections from no\n"
    "                     added camera (closed unread), and datagrams a search\n"
    "                     received that were no camera's answer; picture\n"
    "                     connections open now and at most, and the bytes they\n"
    "                     hold now and at most\n"
    "\n"
    "The counters are this vktcli process's own: they start at zero when the\n"
    "camera is added here, and what another application (or another vktcli run)\n"
    "sees of the same camera is not in them. stats receives no pictures and no\n"
    "stream, so it shows the command channel; \"vktcli listen\" and \"vktcli\n"
    "stream\" print their drops by reason when they end.\n"
    "\n"
    "With --watch another report follows once a second, each after one more\n"
    "state request and with \"seconds: S\" since the first, until SIGINT\n"
    "(Ctrl-C), SIGTERM or N reports. Text reports are separated by an empty line;\n"
    "with --json each report is one line. A failed state request is shown on\n"
    "standard error and counted, and the command goes on.\n",
    "Examples:\n"
    "  vktcli stats --ip 192.168.1.10\n"
    "  vktcli stats --ip 192.168.1.10 --watch --json > counters.jsonl\n"};

constexpr OptionRow<StatsOptions> kStatsOptions[] = {
    kIpOption<StatsOptions>,
    TimeoutOption<StatsOptions>(),
    {"--watch", &StatsOptions::watch, "", "report once a second until stopped"},
    {"--count", &StatsOptions::count, "N", "with --watch: stop after N reports"},
    {"--json", &StatsOptions::json, "",
     "print each report as one JSON object: \"camera\", \"seconds\"\n"
     "(with --watch), then one object per group: \"commands\"\n"
     "{sent, failed, timeouts, networkErrors, refusals,\n"
     "mismatches, reconnects}, \"pictures\" {delivered, bytes,\n"
     "connections, open}, \"pictureDrops\" {badMarker,\n"
     "shortApp1, oversize, timeWindow, closedEarly, cameraDeleted,\n"
     "noCallback, overShare, bufferCap}, \"stream\" {frames,\n"
     "bytes}, \"streamDrops\" {gap, pastLast, oversize},\n"
     "\"ignoredDatagrams\" {size, sender}, \"library\"\n"
     "{unknownSenderConnections, discoveryDatagramsSkipped,\n"
     "pictureConnectionsOpen, pictureConnectionsPeak,\n"
     "pictureBytesBuffered, pictureBytesBufferedPeak}"},
};

}  // namespace

void AddStatsCommand(CommandLine& cli) { cli.AddCommand(kStatsHelp, kStatsOptions, RunStats); }

}  // namespace vktcli
