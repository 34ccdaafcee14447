#include "camera_session.h"

#include "VKTNetSDK11.h"
#include "error_names.h"
#include "exit_codes.h"
#include "format.h"

namespace vktcli {

std::string ReadCameraTarget(const ParsedOptions& options, CameraTarget& target) {
  const std::optional<std::string_view> ipText = options.Get("ip");
  if (!ipText) return "--ip is required";
  const std::optional<std::uint32_t> ip = ParseIPv4(*ipText);
  if (!ip) return "--ip needs an IPv4 address, not '" + Printable(*ipText) + "'";
  std::string error;
  // 0 would make the search only copy an earlier one, and every call fail.
  const std::optional<unsigned> timeout = MillisecondsOption(options, "timeout", 1000, 1, error);
  if (!timeout) return error;
  target.ip = *ip;
  target.timeoutMs = *timeout;
  return {};
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
