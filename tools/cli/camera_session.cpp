#include "camera_session.h"

#include "VKTNetSDK11.h"
#include "error_names.h"
#include "exit_codes.h"
#include "format.h"
#include "option_values.h"

namespace vktcli {

LibrarySession::LibrarySession(std::ostream& err) {
  int supported = 0;
  const int result = VKT_Init(VKT_SDK_VERSION, &supported);
  if (result == 0) {
    started_ = true;
    return;
  }
  if (result == -1) {
    // The library allows one user per host (network namespace); most often
    // a camera application is already running here.
    // The library is held from the start of a process to its end, so two
    // vktcli in one pipe collide as well.
    err << "vktcli: another process on this host already uses the library\n"
        << "vktcli: (two vktcli commands cannot run at once, not even in one pipe: pass\n"
        << "vktcli:  JSON on through a file or $(...) instead)\n";
    return;
  }
  err << "vktcli: the library could not start";
  if (supported != 0 && supported != VKT_SDK_VERSION) {
    err << " (it supports version " << supported << ", this tool was built for "
        << VKT_SDK_VERSION << ")";
  }
  err << "\n";
}

LibrarySession::~LibrarySession() {
  if (started_) VKT_Close();
}

CameraTarget ReadCameraTarget(const CameraOptions& options) {
  CameraTarget target;
  if (!options.ip) throw UsageError("--ip is required");
  target.ip = IPv4Option(*options.ip, "ip");
  // 0 would make the search only copy an earlier one, and every call fail.
  target.timeoutMs = MillisecondsOption(options.timeout, "timeout", 1000, 1);
  return target;
}

int AddCameraReporting(const std::string& address, const DeviceRecord* record, PictureCallback callback,
                       unsigned timeoutMs, std::ostream& err) {
  const int handle = record != nullptr ? VKT_AddCamera(record, callback, timeoutMs)
                                       : VKT_AddCamera_IP(address.c_str(), callback, timeoutMs);
  // 1 means "not started", which cannot be a handle either.
  if (handle != -1 && handle != 1) return handle;
  err << "vktcli: adding " << address << " failed: " << vkttools::DescribeError(VKT_GetLastError()) << "\n";
  return -1;
}

CameraSession::CameraSession(const CameraTarget& target, std::ostream& err, PictureCallback callback)
    : library_(err), timeoutMs_(target.timeoutMs) {
  if (!library_.ok()) {
    failure_ = kExitLibraryStart;
    return;
  }
  handle_ = AddCameraReporting(FormatIPv4(target.ip), nullptr, callback, target.timeoutMs, err);
  if (handle_ == -1) failure_ = kExitCameraFailed;
}

CameraSession::~CameraSession() {
  if (ok()) VKT_DelCamera(handle_);
}

int ReportCallFailure(std::ostream& err, std::string_view callName) {
  err << "vktcli: " << callName << " failed: " << vkttools::DescribeError(VKT_GetLastError()) << "\n";
  return kExitCameraFailed;
}

}  // namespace vktcli
