// vktcli add: add a camera by its address (which searches first) and show
// the device record the search returned for it.
#include <arpa/inet.h>

#include <array>
#include <string>

#include "args.h"
#include "camera_search.h"
#include "commands.h"
#include "error_names.h"
#include "exit_codes.h"
#include "format.h"
#include "library_session.h"
#include "usage.h"

namespace vktcli {

int RunAddCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
  static constexpr std::array<OptionDef, 3> kOptions{{{"ip", true}, {"timeout", true}, {"json", false}}};
  const ParseResult parsed = ParseOptions(args, kOptions);
  if (!parsed.ok()) return CommandUsageError(err, kAddUsage, parsed.error);
  if (parsed.options.help) {
    out << CommandHelp(kAddUsage);
    return kExitOk;
  }
  const std::optional<std::string_view> ipText = parsed.options.Get("ip");
  if (!ipText) return CommandUsageError(err, kAddUsage, "--ip is required");
  const std::optional<std::uint32_t> ip = ParseIPv4(*ipText);
  if (!ip) return CommandUsageError(err, kAddUsage, "--ip needs an IPv4 address, not '" + std::string(*ipText) + "'");
  std::string error;
  const std::optional<unsigned> timeout = MillisecondsOption(parsed.options, "timeout", 1000, 1, error);
  if (!timeout) return CommandUsageError(err, kAddUsage, error);

  LibrarySession library(err);
  if (!library.ok()) return kExitLibraryStart;

  const std::string address = FormatIPv4(*ip);
  const int handle = VKT_AddCamera_IP(address.c_str(), nullptr, *timeout);
  if (handle == -1) {
    err << "vktcli: adding " << address << " failed: " << vkttools::DescribeError(VKT_GetLastError()) << "\n";
    return kExitCameraFailed;
  }
  // The record the camera was added from is the search's; fetch it again
  // without a new search.
  const SearchOutcome stored = FetchStoredCameras();
  const DeviceRecord* record = nullptr;
  for (const DeviceRecord& camera : stored.cameras) {
    if (camera.ipAddress == *ip) record = &camera;
  }
  if (record == nullptr) {
    err << "vktcli: added " << address << " but its record is gone from the search result\n";
    VKT_DelCamera(handle);
    return kExitCameraFailed;
  }
  if (parsed.options.Has("json")) {
    out << FormatCameraJson(std::span(record, 1));
  } else {
    out << "added camera " << address << " as handle " << handle << "\n" << FormatCameraDetails(*record);
  }
  VKT_DelCamera(handle);
  return kExitOk;
}

}  // namespace vktcli
