// vktcli stream: receive a camera's video stream for a while, with running
// counts, optionally saving every frame, and sum up what came.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "VKTNetSDK11.h"
#include "callback_routes.h"
#include "camera_session.h"
#include "commands.h"
#include "counter_text.h"
#include "exit_codes.h"
#include "format.h"
#include "option_values.h"
#include "picture_file.h"
#include "status_line.h"
#include "stop_request.h"
#include "stream_receiver.h"
#include "stream_stats.h"

namespace vktcli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kDefaultSeconds = 5;

struct StreamRequest {
  CameraTarget target;
  std::optional<unsigned> seconds;  // none: until receiver.frameLimit frames came
  StreamReceiverOptions receiver;
  bool json = false;
};

struct StreamOptions : CameraOptions {
  std::optional<std::string> seconds;
  std::optional<std::string> frames;
  std::optional<std::string> dir;
  bool json = false;
};

// Throws UsageError.
StreamRequest ReadStreamRequest(const StreamOptions& options) {
  StreamRequest request;
  request.target = ReadCameraTarget(options);
  if (options.seconds && options.frames) throw UsageError("give --seconds or --frames, not both");
  if (options.frames) {
    request.receiver.frameLimit = PositiveOption(*options.frames, "frames", "frames");
  } else {
    request.seconds = options.seconds ? PositiveOption(*options.seconds, "seconds", "seconds") : kDefaultSeconds;
  }
  if (options.dir) {
    if (options.dir->empty()) throw UsageError("--dir needs a directory");
    request.receiver.directory = *options.dir;
  }
  request.receiver.ip = FormatIPv4(request.target.ip);
  request.json = options.json;
  return request;
}

// From starting the library to closing it: add the camera, run its stream,
// stop it, write what is queued, read the library's counters for the camera
// (`library`) and delete the camera.
int ReceiveStream(const StreamRequest& request, StreamReceiver& receiver, StopRequest& stop, Clock::duration& ran,
                  std::optional<CameraStatistics>& library, std::ostream& err) {
  // Made before the camera, so it outlives the stream's last callback.
  StreamRoute route(receiver);
  CameraSession camera(request.target, err);
  if (!camera.ok()) return camera.failureExitCode();
  // Frames may come before the start returns: the time runs from the request.
  const Clock::time_point start = Clock::now();
  // A failed start may keep a receiver; deleting the camera gives it back.
  if (VKT_StartStream(camera.handle(), RouteStreamFrame, route.user(), camera.timeoutMs()) != 0) {
    return ReportCallFailure(err, "VKT_StartStream");
  }
  StreamTotals last;  // zero, as the counters were when the stream was requested
  ran = ShowProgress(stop, start, request.seconds, err, [&](double interval, double elapsed) {
    const StreamTotals totals = receiver.counters().Totals();
    return FormatStreamProgressLine(totals, std::exchange(last, totals), interval, elapsed);
  });
  receiver.StopTaking();
  // Returns once the callback has run for the last time.
  VKT_StartStream(camera.handle(), nullptr, 0, camera.timeoutMs());
  receiver.Finish();
  // The summary goes without the library's drops rather than not at all.
  library = ReadCameraStatistics(camera.handle(), camera.timeoutMs());
  if (!library) ReportCallFailure(err, "VKT_GetCameraStatistics");
  return kExitOk;
}

int RunStream(const StreamOptions& options, std::ostream& out, std::ostream& err) {
  const StreamRequest request = ReadStreamRequest(options);
  const std::optional<std::filesystem::path>& directory = request.receiver.directory;
  if (directory && !PrepareDirectory(*directory, err)) return kExitCameraFailed;

  // Before the library starts: its threads must inherit the blocked signals.
  StopRequest stop;
  StopOnSignals signals(stop);
  StreamReceiver receiver(request.receiver, stop);
  Clock::duration ran{};
  StreamSummary summary;
  if (const int code = ReceiveStream(request, receiver, stop, ran, summary.library, err); code != kExitOk) {
    return code;
  }

  summary.totals = receiver.counters().Totals();
  summary.seconds = std::chrono::duration<double>(ran).count();
  if (directory) summary.directory = directory->string();
  if (summary.totals.frames == 0) {
    err << "vktcli: no frame arrived in " << FormatFixed(summary.seconds, 1) << " s\n";
    // Frames that came but were dropped tell why nothing arrived.
    if (summary.library) err << FormatStreamDropLines(*summary.library);
    return kExitCameraFailed;
  }
  out << (request.json ? FormatStreamSummaryJson(summary) : FormatStreamSummaryText(summary));
  return receiver.counters().ReportWriteFailures(err, "frames") ? kExitCameraFailed : kExitOk;
}

constexpr CommandHelp kStreamHelp{
    "stream", "receive a camera's video stream, with running counts",
    "Usage: vktcli stream --ip ADDRESS [--seconds S | --frames N] [--dir DIR]\n"
    "                     [--timeout MS] [--json]\n",
    "Starts the video stream of the camera at ADDRESS, receives it for S seconds\n"
    "(default 5) or until N frames have come, stops it and sums up what came.\n"
    "Each frame is one JPEG picture.\n"
    "\n"
    "Once a second a line on standard error shows the frames received so far,\n"
    "frames/s and MB/s (10^6 bytes) over that second, and how many frames were\n"
    "missed and dropped; on a terminal the line is rewritten in place.\n"
    "\n"
    "With --dir every frame is written to a file of its own in DIR:\n"
    "  ADDRESS-stream-N.jpg\n"
    "where N counts the frames received in this run from 1. Files are written by\n"
    "a thread of their own; when the disk falls behind by 256 frames or 64 MiB,\n"
    "further frames are dropped and counted (their numbers are left out) rather\n"
    "than the stream held up.\n"
    "\n"
    "SIGINT (Ctrl-C) or SIGTERM stops early: the stream is stopped, the queued\n"
    "frames are written and the summary is printed as at the normal end.\n",
    "Summary (JSON key in brackets):\n"
    "  frames        frames received, dropped ones too (frames)\n"
    "  seconds       how long the stream ran (seconds)\n"
    "  fps           the frame rate, from the first frame's arrival to the\n"
    "                last's (fps)\n"
    "  MB/s          10^6 bytes per second at that rate (megabytesPerSecond;\n"
    "                bytes: the total received); both n/a (null) for one frame\n"
    "  average size, min size, max size\n"
    "                of the frames, in bytes (averageSize, minSize, maxSize)\n"
    "  missed        frames the camera numbered but that never arrived: a jump\n"
    "                of its frame counter (recordWord8) by k counts k-1; a step\n"
    "                back (the camera restarted the counter) counts none (missed)\n"
    "  dropped       frames not written because the disk fell behind (dropped)\n"
    "  written       with --dir: the files written (dir, written, writeFailures)\n"
    "  stream drops  frames the library dropped before they reached vktcli, by\n"
    "                reason: gap, past last, oversize (streamDrops: {gap,\n"
    "                pastLast, oversize})\n"
    "  ignored datagrams\n"
    "                datagrams the library ignored: wrong size, wrong sender\n"
    "                (ignoredDatagrams: {size, sender}); \"vktcli help stats\"\n"
    "                explains each reason\n"
    "\n"
    "Fails when the stream cannot be started (the reason is shown), with \"no\n"
    "frame arrived\" when none came (followed by the library's stream drops and\n"
    "ignored datagrams on standard error, which often tell why), or when a frame\n"
    "could not be written.\n"
    "\n"
    "Examples:\n"
    "  vktcli stream --ip 192.168.1.10 --seconds 10\n"
    "  vktcli stream --ip 192.168.1.10 --frames 50 --dir frames --json\n"};

constexpr OptionRow<StreamOptions> kStreamOptions[] = {
    kIpOption<StreamOptions>,
    TimeoutOption<StreamOptions>("how long the search lasts, and the time-out of adding the\n"
                                 "camera and of starting and stopping its stream (default\n"
                                 "1000; some cameras take a second more to stop)"),
    {"--seconds", &StreamOptions::seconds, "S", "receive for S whole seconds (default 5)"},
    {"--frames", &StreamOptions::frames, "N", "receive until N frames have come, with no time limit"},
    {"--dir", &StreamOptions::dir, "DIR", "write the frames to DIR (made if missing)"},
    {"--json", &StreamOptions::json, "", "print the summary as one JSON object"},
};

}  // namespace

void AddStreamCommand(CommandLine& cli) { cli.AddCommand(kStreamHelp, kStreamOptions, RunStream); }

}  // namespace vktcli
