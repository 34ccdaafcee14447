// The library and one camera for the life of one subcommand: the library
// started, the camera at --ip added (a search first), and both undone at the
// end.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "VKTNetSDK11.h"
#include "command_line.h"

namespace vktcli {

class LibrarySession {
 public:
  // Calls VKT_Init; when it does not start, tells `err` why and ok() is false.
  explicit LibrarySession(std::ostream& err);
  ~LibrarySession();  // VKT_Close, if started

  LibrarySession(const LibrarySession&) = delete;
  LibrarySession& operator=(const LibrarySession&) = delete;

  bool ok() const { return started_; }

 private:
  bool started_ = false;
};

// --ip and --timeout, the options every camera subcommand takes; the
// options of such a command derive from it.
struct CameraOptions {
  std::optional<std::string> ip;
  std::optional<std::string> timeout;
};

inline constexpr std::string_view kCameraTimeoutHelp =
    "how long the search lasts, and the time-out of each camera\n"
    "call (default 1000)";

// The rows of --ip and --timeout. --ip is required by ReadCameraTarget
// rather than by CLI11, so that a command's own words (a missing NAME, say)
// are reported first, as they always were.
template <class Options>
constexpr OptionRow<Options> kIpOption{"--ip", &Options::ip, "ADDRESS",
                                       "the camera's IPv4 address (it is found by a search first)"};
template <class Options>
constexpr OptionRow<Options> TimeoutOption(std::string_view help = kCameraTimeoutHelp) {
  return {"--timeout", &Options::timeout, "MS", help};
}

struct CameraTarget {
  std::uint32_t ip = 0;      // network byte order
  unsigned timeoutMs = 1000; // for the search and for each call
};

// Reads --ip and --timeout (default 1000, at least 1); throws UsageError.
CameraTarget ReadCameraTarget(const CameraOptions& options);

class CameraSession {
 public:
  // Starts the library and adds the camera; on failure tells `err` why.
  // With a picture callback the camera is told to push its pictures here.
  CameraSession(const CameraTarget& target, std::ostream& err, PictureCallback callback = nullptr);
  ~CameraSession();  // deletes the camera; the library closes after

  CameraSession(const CameraSession&) = delete;
  CameraSession& operator=(const CameraSession&) = delete;

  bool ok() const { return failure_ == 0; }
  int failureExitCode() const { return failure_; }  // when !ok()
  int handle() const { return handle_; }
  unsigned timeoutMs() const { return timeoutMs_; }

 private:
  LibrarySession library_;
  int handle_ = -1;
  int failure_ = 0;
  unsigned timeoutMs_;
};

// Adds the camera at `address` and returns its handle; -1 when that fails,
// with "vktcli: adding ADDRESS failed: <the last error>" told to `err`.
int AddCameraReporting(const std::string& address, const DeviceRecord* record, PictureCallback callback,
                       unsigned timeoutMs, std::ostream& err);

// Writes "vktcli: CALL failed: <the last error>" and returns the exit code of
// a failed camera call.
int ReportCallFailure(std::ostream& err, std::string_view callName);

}  // namespace vktcli
