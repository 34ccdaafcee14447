// vktcli listen: receive the pictures cameras push and write each to a file,
// with a running count, until a duration ends or SIGINT/SIGTERM.
#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "VKTNetSDK11.h"
#include "args.h"
#include "camera_search.h"
#include "commands.h"
#include "error_names.h"
#include "exit_codes.h"
#include "format.h"
#include "library_session.h"
#include "listen_stats.h"
#include "picture_file.h"
#include "picture_listener.h"
#include "picture_route.h"
#include "progress_ticker.h"
#include "statistics_calls.h"
#include "status_line.h"
#include "stop_request.h"
#include "usage.h"

namespace vktcli {

namespace {

using Clock = std::chrono::steady_clock;

struct ListenRequest {
  std::vector<std::uint32_t> ips;  // network byte order, each once
  std::filesystem::path directory = ".";
  std::optional<unsigned> durationSeconds;  // none: until a signal
  unsigned timeoutMs = 1000;
};

// Returns the usage error, or "" when `request` is filled.
std::string ReadListenRequest(const ParsedOptions& options, ListenRequest& request) {
  const std::vector<std::string> ipTexts = options.GetAll("ip");
  if (ipTexts.empty()) return "--ip is required";
  for (const std::string& text : ipTexts) {
    const std::optional<std::uint32_t> ip = ParseIPv4(text);
    if (!ip) return "--ip needs an IPv4 address, not '" + Printable(text) + "'";
    // Adding a camera twice gives the same handle: its pictures would count once.
    if (std::find(request.ips.begin(), request.ips.end(), *ip) != request.ips.end()) {
      return "--ip " + text + " given more than once";
    }
    request.ips.push_back(*ip);
  }
  if (const std::optional<std::string_view> dir = options.Get("dir")) {
    if (dir->empty()) return "--dir needs a directory";
    request.directory = std::string(*dir);
  }
  if (const std::optional<std::string_view> duration = options.Get("duration")) {
    const std::optional<unsigned> seconds = ParseMilliseconds(*duration);
    if (!seconds || *seconds == 0) {
      return "--duration needs a whole number of seconds of at least 1, not '" + Printable(*duration) + "'";
    }
    request.durationSeconds = *seconds;
  }
  std::string error;
  const std::optional<unsigned> timeout = MillisecondsOption(options, "timeout", 1000, 1, error);
  if (!timeout) return error;
  request.timeoutMs = *timeout;
  return {};
}

// Deletes the cameras it holds, on every way out.
class AddedCameras {
 public:
  ~AddedCameras() { DeleteAll(); }
  void Add(int handle, std::string ip) { cameras_.push_back({handle, std::move(ip)}); }
  void DeleteAll() {
    for (const ListenCamera& camera : cameras_) VKT_DelCamera(camera.handle);
    cameras_.clear();
  }
  const std::vector<ListenCamera>& list() const { return cameras_; }

 private:
  std::vector<ListenCamera> cameras_;
};

// One search for all of them, rather than one per camera.
int AddCameras(const ListenRequest& request, AddedCameras& added, std::ostream& err) {
  const SearchOutcome found = SearchCameras(request.timeoutMs);
  if (!found.ok) {
    err << "vktcli: the search failed: " << vkttools::DescribeError(found.error) << "\n";
    return kExitCameraFailed;
  }
  for (std::uint32_t ip : request.ips) {
    const std::string address = FormatIPv4(ip);
    const auto record = std::find_if(found.cameras.begin(), found.cameras.end(),
                                     [ip](const DeviceRecord& camera) { return camera.ipAddress == ip; });
    if (record == found.cameras.end()) {
      err << "vktcli: adding " << address << " failed: " << vkttools::DescribeError(VKT_ERR_CAMERA_NOT_FOUND) << "\n";
      return kExitCameraFailed;
    }
    const int handle = VKT_AddCamera(&*record, RoutePicture, request.timeoutMs);
    if (handle == -1 || handle == 1) {
      err << "vktcli: adding " << address << " failed: " << vkttools::DescribeError(VKT_GetLastError()) << "\n";
      return kExitCameraFailed;
    }
    added.Add(handle, address);
  }
  return kExitOk;
}

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

// Shows the progress once a second until the duration ends or a stop is
// requested; returns how long it listened.
Clock::duration ShowProgress(const ListenRequest& request, const std::vector<ListenCamera>& cameras,
                             const PictureListener& listener, StopRequest& stop, std::ostream& err) {
  StatusLine status(err, IsTerminalStream(err));
  ListenTotals last = listener.counters().Totals();
  std::optional<Clock::duration> limit;
  if (request.durationSeconds) limit = std::chrono::seconds(*request.durationSeconds);
  const Clock::duration listened = WaitWithProgress(stop, Clock::now(), limit, [&](double interval, double elapsed) {
    const ListenTotals totals = listener.counters().Totals();
    status.Show(FormatProgressLine(cameras, totals, last, interval, elapsed));
    last = totals;
  });
  status.Finish();
  return listened;
}

// The library's counters of each camera, by handle; a camera whose counters
// cannot be read is reported and left out.
std::map<int, CameraStatistics> ReadDrops(const std::vector<ListenCamera>& cameras, unsigned timeoutMs,
                                          std::ostream& err) {
  std::map<int, CameraStatistics> library;
  for (const ListenCamera& camera : cameras) {
    if (const std::optional<CameraStatistics> stats = ReadCameraStatistics(camera.handle, timeoutMs)) {
      library[camera.handle] = *stats;
    } else {
      err << "vktcli: reading the counters of " << camera.ip << " failed: "
          << vkttools::DescribeError(VKT_GetLastError()) << "\n";
    }
  }
  return library;
}

// From starting the library to closing it: add the cameras, listen, write
// what is queued, read the library's counters (`counters`) and delete the
// cameras.
int ListenToCameras(const ListenRequest& request, PictureListener& listener, StopRequest& stop,
                    std::vector<ListenCamera>& cameras, Clock::duration& listened,
                    std::map<int, CameraStatistics>& counters, std::ostream& err) {
  LibrarySession library(err);
  if (!library.ok()) return kExitLibraryStart;
  AddedCameras added;
  if (const int code = AddCameras(request, added, err); code != kExitOk) return code;
  cameras = added.list();
  listener.StartWriting(cameras);
  listened = ShowProgress(request, cameras, listener, stop, err);
  listener.Finish();
  counters = ReadDrops(cameras, request.timeoutMs, err);
  added.DeleteAll();
  return kExitOk;
}

}  // namespace

int RunListenCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
  static constexpr std::array<OptionDef, 4> kOptions{
      {{"ip", true, true}, {"timeout", true}, {"dir", true}, {"duration", true}}};
  const ParseResult parsed = ParseOptions(args, kOptions);
  if (!parsed.ok()) return CommandUsageError(err, kListenUsage, parsed.error);
  if (parsed.options.help) {
    out << CommandHelp(kListenUsage);
    return kExitOk;
  }
  ListenRequest request;
  if (std::string error = ReadListenRequest(parsed.options, request); !error.empty()) {
    return CommandUsageError(err, kListenUsage, error);
  }
  if (!PrepareDirectory(request.directory, err)) return kExitCameraFailed;

  // Before the library starts: its threads must inherit the blocked signals.
  StopRequest stop;
  StopOnSignals signals(stop);
  PictureListener listener(request.directory);
  std::vector<ListenCamera> cameras;
  Clock::duration listened{};
  std::map<int, CameraStatistics> library;
  {
    PictureRoute route(listener);
    if (const int code = ListenToCameras(request, listener, stop, cameras, listened, library, err);
        code != kExitOk) {
      return code;
    }
  }
  const ListenTotals totals = listener.counters().Totals();
  out << FormatListenSummary(cameras, totals, Seconds(listened), request.directory.string()) << "\n"
      << FormatListenDrops(cameras, library);
  if (totals.writeFailures > 0) {
    err << "vktcli: " << totals.writeFailures << " pictures could not be written, the first: "
        << listener.counters().FirstWriteFailure() << "\n";
    return kExitCameraFailed;
  }
  return kExitOk;
}

}  // namespace vktcli
