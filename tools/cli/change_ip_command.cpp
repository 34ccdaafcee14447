// vktcli change-ip: find one camera by MAC or current address and give it a
// new address (and optionally new netmask/gateway words).
#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "camera_search.h"
#include "camera_session.h"
#include "commands.h"
#include "error_names.h"
#include "exit_codes.h"
#include "format.h"
#include "option_values.h"

namespace vktcli {

namespace {

struct ChangeIpOptions {
  std::optional<std::string> mac;
  std::optional<std::string> from;
  std::optional<std::string> ip;
  std::optional<std::string> netmask;
  std::optional<std::string> gateway;
  std::optional<std::string> timeout;
  std::optional<std::string> searchTimeout;
};

struct ChangeIpRequest {
  std::optional<std::array<std::uint8_t, 6>> mac;  // exactly one of mac/from
  std::optional<std::uint32_t> from;
  std::uint32_t newIp = 0;
  std::optional<std::uint32_t> netmask;
  std::optional<std::uint32_t> gateway;
  unsigned timeoutMs = 3000;
  unsigned searchTimeoutMs = 1000;
};

// Throws UsageError.
ChangeIpRequest ReadRequest(const ChangeIpOptions& options) {
  ChangeIpRequest request;
  if (options.mac.has_value() == options.from.has_value()) throw UsageError("give exactly one of --mac and --from");
  if (options.mac) {
    request.mac = ParseMac(*options.mac);
    if (!request.mac) {
      throw UsageError("--mac needs a MAC address like 00:1c:27:00:00:10, not " + Quoted(*options.mac));
    }
  }
  if (options.from) request.from = IPv4Option(*options.from, "from");
  if (!options.ip) throw UsageError("--ip is required");
  request.newIp = IPv4Option(*options.ip, "ip");
  if (!IsUnicastAddress(request.newIp)) throw UsageError("--ip must be a unicast address, not '" + *options.ip + "'");
  if (options.netmask) request.netmask = IPv4Option(*options.netmask, "netmask", "a dotted quad");
  if (options.gateway) request.gateway = IPv4Option(*options.gateway, "gateway", "a dotted quad");
  request.timeoutMs = MillisecondsOption(options.timeout, "timeout", 3000, 0);
  request.searchTimeoutMs = MillisecondsOption(options.searchTimeout, "search-timeout", 1000, 1);
  return request;
}

bool Matches(const DeviceRecord& camera, const ChangeIpRequest& request) {
  if (request.mac) return std::ranges::equal(*request.mac, camera.macAddress);
  return camera.ipAddress == *request.from;
}

std::string Target(const ChangeIpRequest& request) {
  return request.mac ? "MAC " + FormatMac(*request.mac) : "address " + FormatIPv4(*request.from);
}

int RunChangeIp(const ChangeIpOptions& options, std::ostream& out, std::ostream& err) {
  const ChangeIpRequest request = ReadRequest(options);
  LibrarySession library(err);
  if (!library.ok()) return kExitLibraryStart;

  const std::optional<std::vector<DeviceRecord>> found = SearchReporting(request.searchTimeoutMs, "search", err);
  if (!found) return kExitCameraFailed;
  std::vector<const DeviceRecord*> matches;
  for (const DeviceRecord& camera : *found) {
    if (Matches(camera, request)) matches.push_back(&camera);
  }
  if (matches.empty()) {
    err << "vktcli: no camera with " << Target(request) << " answered the search: "
        << vkttools::DescribeError(VKT_ERR_CAMERA_NOT_FOUND) << "\n";
    return kExitCameraFailed;
  }
  if (matches.size() > 1) {
    // Two cameras sharing an address is exactly when people reach for this
    // tool; changing one at random would make it worse.
    err << "vktcli: " << matches.size() << " cameras answer at " << FormatIPv4(*request.from)
        << "; choose one with --mac:\n";
    for (const DeviceRecord* camera : matches) {
      err << "  " << FormatMac(camera->macAddress) << "  " << Printable(FieldText(camera->modelName)) << "\n";
    }
    return kExitCameraFailed;
  }
  const DeviceRecord& camera = *matches.front();

  // The parameter is the record's first 20 bytes: the camera takes back the
  // words it reported, except the ones being changed.
  static_assert(sizeof(ChangeIPParam) <= sizeof(DeviceRecord));
  ChangeIPParam param;
  std::memcpy(&param, &camera, sizeof param);
  param.ipAddress = request.newIp;
  if (request.netmask) param.addressWord1 = *request.netmask;
  if (request.gateway) param.addressWord2 = *request.gateway;

  if (VKT_ChangeCameraIP(&param, request.timeoutMs) != 0) {
    err << "vktcli: changing " << FormatMac(camera.macAddress) << " failed: "
        << vkttools::DescribeError(VKT_GetLastError()) << "\n";
    return kExitCameraFailed;
  }
  out << "changed " << FormatMac(camera.macAddress) << ": " << FormatIPv4(camera.ipAddress) << " -> "
      << FormatIPv4(request.newIp) << "\n";
  return kExitOk;
}

constexpr CommandHelp kChangeIpHelp{
    "change-ip", "give a camera a new IP address",
    "Usage: vktcli change-ip (--mac MAC | --from CURRENT_IP) --ip NEW_IP\n"
    "                        [--netmask A.B.C.D] [--gateway A.B.C.D]\n"
    "                        [--timeout MS] [--search-timeout MS]\n",
    "Gives a camera a new IPv4 address. The camera is first found by a search,\n"
    "by its MAC address or by the address it has now; the camera need not be\n"
    "reachable on its current address, since the change goes out by broadcast.\n",
    "On success prints \"changed MAC: OLD_IP -> NEW_IP\".\n"};

using O = ChangeIpOptions;
constexpr OptionRow<O> kChangeIpOptions[] = {
    {"--mac", &O::mac, "MAC", "the camera's MAC, e.g. 00:1c:27:00:00:10"},
    {"--from", &O::from, "CURRENT_IP", "the camera's current address"},
    {"--ip", &O::ip, "NEW_IP", "the new address"},
    {"--netmask", &O::netmask, "A.B.C.D",
     "new first address word (the netmask on most\n"
     "cameras); default: keep the camera's value"},
    {"--gateway", &O::gateway, "A.B.C.D",
     "new second address word (the gateway on most\n"
     "cameras); default: keep the camera's value"},
    {"--timeout", &O::timeout, "MS",
     "how long to wait for the camera's confirmation\n"
     "(default 3000; 0 checks once)"},
    {"--search-timeout", &O::searchTimeout, "MS", "how long the search lasts (default 1000)"},
};

}  // namespace

void AddChangeIpCommand(CommandLine& cli) { cli.AddCommand(kChangeIpHelp, kChangeIpOptions, RunChangeIp); }

}  // namespace vktcli
