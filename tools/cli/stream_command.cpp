// vktcli stream: receive a camera's video stream for a while, with running
// counts, optionally saving every frame, and sum up what came.
#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "VKTNetSDK11.h"
#include "args.h"
#include "camera_session.h"
#include "commands.h"
#include "exit_codes.h"
#include "format.h"
#include "picture_file.h"
#include "progress_ticker.h"
#include "statistics_calls.h"
#include "status_line.h"
#include "stop_request.h"
#include "stream_receiver.h"
#include "stream_route.h"
#include "stream_stats.h"
#include "usage.h"

namespace vktcli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kDefaultSeconds = 5;

struct StreamRequest {
  CameraTarget target;
  std::optional<unsigned> seconds;  // exactly one of these two is set
  std::optional<unsigned> frames;
  std::optional<std::filesystem::path> directory;
  bool json = false;
};

// A whole number of at least 1 for `--NAME`, or nullopt with `error` set.
std::optional<unsigned> PositiveOption(const ParsedOptions& options, std::string_view name, std::string_view what,
                                       std::string& error) {
  const std::string_view text = *options.Get(name);
  const std::optional<unsigned> number = ParseMilliseconds(text);
  if (!number || *number == 0) {
    error = "--" + std::string(name) + " needs a whole number of " + std::string(what) + " of at least 1, not '" +
            Printable(text) + "'";
    return std::nullopt;
  }
  return number;
}

// Returns the usage error, or "" when `request` is filled.
std::string ReadStreamRequest(const ParsedOptions& options, StreamRequest& request) {
  if (std::string error = ReadCameraTarget(options, request.target); !error.empty()) return error;
  if (options.Has("seconds") && options.Has("frames")) return "give --seconds or --frames, not both";
  std::string error;
  if (options.Has("frames")) {
    request.frames = PositiveOption(options, "frames", "frames", error);
    if (!request.frames) return error;
  } else if (options.Has("seconds")) {
    request.seconds = PositiveOption(options, "seconds", "seconds", error);
    if (!request.seconds) return error;
  } else {
    request.seconds = kDefaultSeconds;
  }
  if (const std::optional<std::string_view> dir = options.Get("dir")) {
    if (dir->empty()) return "--dir needs a directory";
    request.directory = std::string(*dir);
  }
  request.json = options.Has("json");
  return {};
}

// Shows the progress once a second until the time is up, the frames have
// come or a stop is requested; returns how long the stream ran since `start`.
Clock::duration ShowProgress(const StreamRequest& request, const StreamReceiver& receiver, StopRequest& stop,
                             Clock::time_point start, std::ostream& err) {
  StatusLine status(err, IsTerminalStream(err));
  StreamTotals last;  // zero, as the counters were when the stream was requested
  std::optional<Clock::duration> limit;
  if (request.seconds) limit = std::chrono::seconds(*request.seconds);
  const Clock::duration ran = WaitWithProgress(stop, start, limit, [&](double interval, double elapsed) {
    const StreamTotals totals = receiver.counters().Totals();
    status.Show(FormatStreamProgressLine(totals, last, interval, elapsed));
    last = totals;
  });
  status.Finish();
  return ran;
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
  ran = ShowProgress(request, receiver, stop, start, err);
  receiver.StopTaking();
  // Returns once the callback has run for the last time.
  VKT_StartStream(camera.handle(), nullptr, 0, camera.timeoutMs());
  receiver.Finish();
  // The summary goes without the library's drops rather than not at all.
  library = ReadCameraStatistics(camera.handle(), camera.timeoutMs());
  if (!library) ReportCallFailure(err, "VKT_GetCameraStatistics");
  return kExitOk;
}

}  // namespace

int RunStreamCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
  static constexpr std::array<OptionDef, 6> kOptions{{kCameraOptions[0],
                                                      kCameraOptions[1],
                                                      {"seconds", true},
                                                      {"frames", true},
                                                      {"dir", true},
                                                      {"json", false}}};
  const ParseResult parsed = ParseOptions(args, kOptions);
  if (!parsed.ok()) return CommandUsageError(err, kStreamUsage, parsed.error);
  if (parsed.options.help) {
    out << CommandHelp(kStreamUsage);
    return kExitOk;
  }
  StreamRequest request;
  if (std::string error = ReadStreamRequest(parsed.options, request); !error.empty()) {
    return CommandUsageError(err, kStreamUsage, error);
  }
  if (request.directory && !PrepareDirectory(*request.directory, err)) return kExitCameraFailed;

  // Before the library starts: its threads must inherit the blocked signals.
  StopRequest stop;
  StopOnSignals signals(stop);
  StreamReceiverOptions receiverOptions;
  if (request.frames) receiverOptions.frameLimit = *request.frames;
  receiverOptions.directory = request.directory;
  receiverOptions.ip = FormatIPv4(request.target.ip);
  StreamReceiver receiver(std::move(receiverOptions), stop);
  Clock::duration ran{};
  StreamSummary summary;
  if (const int code = ReceiveStream(request, receiver, stop, ran, summary.library, err); code != kExitOk) {
    return code;
  }

  summary.totals = receiver.counters().Totals();
  summary.seconds = std::chrono::duration<double>(ran).count();
  if (request.directory) summary.directory = request.directory->string();
  if (summary.totals.frames == 0) {
    err << "vktcli: no frame arrived in " << FormatFixed(summary.seconds, 1) << " s\n";
    // Frames that came but were dropped tell why nothing arrived.
    if (summary.library) err << FormatStreamDropLines(*summary.library);
    return kExitCameraFailed;
  }
  out << (request.json ? FormatStreamSummaryJson(summary) : FormatStreamSummaryText(summary));
  if (summary.totals.writeFailures > 0) {
    err << "vktcli: " << summary.totals.writeFailures << " frames could not be written, the first: "
        << receiver.counters().FirstWriteFailure() << "\n";
    return kExitCameraFailed;
  }
  return kExitOk;
}

}  // namespace vktcli
