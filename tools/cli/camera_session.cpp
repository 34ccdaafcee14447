#include "camera_session.h"

#include <CLI/CLI.hpp>

#include "VKTNetSDK11.h"
#include "error_names.h"
#include "exit_codes.h"
#include "format.h"
#include "option_values.h"

namespace vktcli {

void AddCameraOptions(CLI::App& command, CameraOptions& options, std::string_view timeoutHelp) {
  command.add_option("--ip", options.ip, "the camera's IPv4 address (it is found by a search first)")
      ->type_name("ADDRESS");
  command.add_option("--timeout", options.timeout, std::string(timeoutHelp))->type_name("MS");
}

CameraTarget ReadCameraTarget(const CameraOptions& options) {
  CameraTarget target;
  if (!options.ip) throw UsageError("--ip is required");
  target.ip = IPv4Option(*options.ip, "ip");
  // 0 would make the search only copy an earlier one, and every call fail.
  target.timeoutMs = MillisecondsOption(options.timeout, "timeout", 1000, 1);
  return target;
}

CameraSession::CameraSession(const CameraTarget& target, std::ostream& err, PictureCallback callback)
    : library_(err), timeoutMs_(target.timeoutMs) {
  if (!library_.ok()) {
    failure_ = kExitLibraryStart;
    return;
  }
  const std::string address = FormatIPv4(target.ip);
  const int handle = VKT_AddCamera_IP(address.c_str(), callback, target.timeoutMs);
  // 1 means "not started", which cannot be a handle either.
  if (handle == -1 || handle == 1) {
    err << "vktcli: adding " << address << " failed: " << vkttools::DescribeError(VKT_GetLastError()) << "\n";
    failure_ = kExitCameraFailed;
    return;
  }
  handle_ = handle;
}

CameraSession::~CameraSession() {
  if (ok()) VKT_DelCamera(handle_);
}

int ReportCallFailure(std::ostream& err, std::string_view callName) {
  err << "vktcli: " << callName << " failed: " << vkttools::DescribeError(VKT_GetLastError()) << "\n";
  return kExitCameraFailed;
}

}  // namespace vktcli
