// vktcli listen: receive the pictures cameras push and write each to a file,
// with a running count, until a duration ends or SIGINT/SIGTERM.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "VKTNetSDK11.h"
#include "callback_routes.h"
#include "camera_search.h"
#include "camera_session.h"
#include "commands.h"
#include "counter_text.h"
#include "error_names.h"
#include "exit_codes.h"
#include "format.h"
#include "listen_stats.h"
#include "option_values.h"
#include "picture_file.h"
#include "picture_listener.h"
#include "status_line.h"
#include "stop_request.h"

namespace vktcli {

namespace {

using Clock = std::chrono::steady_clock;

struct ListenRequest {
  std::vector<std::uint32_t> ips;  // network byte order, each once
  std::filesystem::path directory = ".";
  std::optional<unsigned> durationSeconds;  // none: until a signal
  unsigned timeoutMs = 1000;
};

struct ListenOptions {
  std::vector<std::string> ips;
  std::optional<std::string> dir;
  std::optional<std::string> duration;
  std::optional<std::string> timeout;
};

// Throws UsageError.
ListenRequest ReadListenRequest(const ListenOptions& options) {
  ListenRequest request;
  if (options.ips.empty()) throw UsageError("--ip is required");
  for (const std::string& text : options.ips) {
    const std::uint32_t ip = IPv4Option(text, "ip");
    // Adding a camera twice gives the same handle: its pictures would count once.
    if (std::ranges::find(request.ips, ip) != request.ips.end()) {
      throw UsageError("--ip " + text + " given more than once");
    }
    request.ips.push_back(ip);
  }
  if (options.dir) {
    if (options.dir->empty()) throw UsageError("--dir needs a directory");
    request.directory = *options.dir;
  }
  if (options.duration) request.durationSeconds = PositiveOption(*options.duration, "duration", "seconds");
  request.timeoutMs = MillisecondsOption(options.timeout, "timeout", 1000, 1);
  return request;
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
  const std::optional<std::vector<DeviceRecord>> found = SearchReporting(request.timeoutMs, "the search", err);
  if (!found) return kExitCameraFailed;
  for (std::uint32_t ip : request.ips) {
    const std::string address = FormatIPv4(ip);
    const auto record = std::ranges::find(*found, ip, &DeviceRecord::ipAddress);
    if (record == found->end()) {
      err << "vktcli: adding " << address << " failed: " << vkttools::DescribeError(VKT_ERR_CAMERA_NOT_FOUND) << "\n";
      return kExitCameraFailed;
    }
    const int handle = AddCameraReporting(address, &*record, RoutePicture, request.timeoutMs, err);
    if (handle == -1) return kExitCameraFailed;
    added.Add(handle, address);
  }
  return kExitOk;
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
  ListenTotals last = listener.counters().Totals();
  listened = ShowProgress(stop, Clock::now(), request.durationSeconds, err, [&](double interval, double elapsed) {
    const ListenTotals totals = listener.counters().Totals();
    return FormatProgressLine(cameras, totals, std::exchange(last, totals), interval, elapsed);
  });
  listener.Finish();
  counters = ReadDrops(cameras, request.timeoutMs, err);
  added.DeleteAll();
  return kExitOk;
}

int RunListen(const ListenOptions& options, std::ostream& out, std::ostream& err) {
  const ListenRequest request = ReadListenRequest(options);
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
  const double seconds = std::chrono::duration<double>(listened).count();
  out << FormatListenSummary(cameras, totals, seconds, request.directory.string()) << "\n"
      << FormatListenDrops(cameras, library);
  return listener.counters().ReportWriteFailures(err, "pictures") ? kExitCameraFailed : kExitOk;
}

constexpr CommandHelp kListenHelp{
    "listen", "save the pictures cameras push, with running counts",
    "Usage: vktcli listen --ip ADDRESS [--ip ADDRESS]... [--dir DIR]\n"
    "                     [--duration SECONDS] [--timeout MS]\n",
    "Receives the pictures the cameras push (triggered pictures, and snapshots\n"
    "anyone requests) and writes each to a file of its own in DIR:\n"
    "  ADDRESS-YYYYMMDD-HHMMSS-mmm-N.jpg\n"
    "after the camera, the picture's time stamp (the host's local time of\n"
    "arrival when the camera's is not a valid time) and a running number N from\n"
    "1, so names never collide.\n"
    "\n"
    "Once a second a line on standard error shows the pictures received per\n"
    "camera and in total, pictures/s and MB/s (10^6 bytes) over that second, and\n"
    "how many were dropped; on a terminal the line is rewritten in place. At the\n"
    "end one summary line goes to standard output, then a line per camera with\n"
    "the pictures the library dropped before they reached vktcli, by reason (the\n"
    "reasons are explained under \"vktcli help stats\"):\n"
    "  127.0.0.10 picture drops: bad marker 0, short APP1 0, oversize 0, time\n"
    "  window 0, closed early 0, camera deleted 0, no callback 0, over share 0,\n"
    "  buffer cap 0\n"
    "(on one line).\n"
    "\n"
    "Files are written by a thread of their own. When the disk falls behind by\n"
    "256 pictures or 64 MiB, further pictures are dropped and counted rather\n"
    "than the cameras held up.\n"
    "\n"
    "Stops after --duration, or on SIGINT (Ctrl-C) or SIGTERM: the pictures\n"
    "still queued are written, the cameras deleted, the summary printed, and the\n"
    "exit code is 0.\n",
    "Fails also when a picture could not be written; the first reason is shown.\n"
    "\n"
    "Example:\n"
    "  vktcli listen --ip 192.168.1.10 --ip 192.168.1.11 --dir pictures --duration 60\n"};

constexpr OptionRow<ListenOptions> kListenOptions[] = {
    {"--ip", &ListenOptions::ips, "ADDRESS",
     "a camera's IPv4 address; repeat it for more cameras\n"
     "(one search finds them all)"},
    {"--dir", &ListenOptions::dir, "DIR",
     "where the files go (default: the current directory;\n"
     "made if missing)"},
    {"--duration", &ListenOptions::duration, "SECONDS",
     "stop after this many whole seconds (default: run until\n"
     "SIGINT or SIGTERM)"},
    {"--timeout", &ListenOptions::timeout, "MS",
     "how long the search lasts, and the time-out for telling\n"
     "each camera where to push (default 1000)"},
};

}  // namespace

void AddListenCommand(CommandLine& cli) { cli.AddCommand(kListenHelp, kListenOptions, RunListen); }

}  // namespace vktcli
