// One camera for the life of one subcommand: the library started, the
// camera at --ip added (a search first), and both undone at the end.
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "VKTNetSDK11.h"
#include "args.h"
#include "library_session.h"

namespace vktcli {

// --ip and --timeout, the options every camera subcommand takes.
inline constexpr std::array<OptionDef, 2> kCameraOptions{{{"ip", true}, {"timeout", true}}};

struct CameraTarget {
  std::uint32_t ip = 0;      // network byte order
  unsigned timeoutMs = 1000; // for the search and for each call
};

// Reads --ip (required) and --timeout (default 1000, at least 1). Returns the
// usage error, or "" when `target` is filled.
std::string ReadCameraTarget(const ParsedOptions& options, CameraTarget& target);

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

// Writes "vktcli: CALL failed: <the last error>" and returns the exit code of
// a failed camera call.
int ReportCallFailure(std::ostream& err, std::string_view callName);

}  // namespace vktcli
