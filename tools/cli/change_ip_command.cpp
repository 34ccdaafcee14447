// vktcli change-ip: find one camera by MAC or current address and give it a
// new address (and optionally new netmask/gateway words).
#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "args.h"
#include "camera_search.h"
#include "commands.h"
#include "error_names.h"
#include "exit_codes.h"
#include "format.h"
#include "library_session.h"
#include "usage.h"

namespace vktcli {

namespace {

struct ChangeIpRequest {
  std::optional<std::array<std::uint8_t, 6>> mac;  // exactly one of mac/from
  std::optional<std::uint32_t> from;
  std::uint32_t newIp = 0;
  std::optional<std::uint32_t> netmask;
  std::optional<std::uint32_t> gateway;
  unsigned timeoutMs = 3000;
  unsigned searchTimeoutMs = 1000;
};

// Fills `request` from the options; on failure returns the message.
std::string ReadRequest(const ParsedOptions& options, ChangeIpRequest& request) {
  if (options.Has("mac") == options.Has("from")) return "give exactly one of --mac and --from";
  if (auto text = options.Get("mac")) {
    request.mac = ParseMac(*text);
    if (!request.mac) return "--mac needs a MAC address like 00:1c:27:00:00:10, not '" + std::string(*text) + "'";
  }
  if (auto text = options.Get("from")) {
    request.from = ParseIPv4(*text);
    if (!request.from) return "--from needs an IPv4 address, not '" + std::string(*text) + "'";
  }
  const std::optional<std::string_view> ip = options.Get("ip");
  if (!ip) return "--ip is required";
  const std::optional<std::uint32_t> newIp = ParseIPv4(*ip);
  if (!newIp) return "--ip needs an IPv4 address, not '" + std::string(*ip) + "'";
  // 0.0.0.0, multicast and broadcast addresses would make the camera unreachable.
  std::uint8_t first;
  std::memcpy(&first, &*newIp, 1);
  if (first == 0 || first >= 224) return "--ip must be a unicast address, not '" + std::string(*ip) + "'";
  request.newIp = *newIp;
  for (auto [name, target] : {std::pair{"netmask", &request.netmask}, std::pair{"gateway", &request.gateway}}) {
    if (auto text = options.Get(name)) {
      *target = ParseIPv4(*text);
      if (!*target) return "--" + std::string(name) + " needs a dotted quad, not '" + std::string(*text) + "'";
    }
  }
  std::string error;
  const std::optional<unsigned> timeout = MillisecondsOption(options, "timeout", 3000, 0, error);
  if (!timeout) return error;
  const std::optional<unsigned> searchTimeout = MillisecondsOption(options, "search-timeout", 1000, 1, error);
  if (!searchTimeout) return error;
  request.timeoutMs = *timeout;
  request.searchTimeoutMs = *searchTimeout;
  return {};
}

bool Matches(const DeviceRecord& camera, const ChangeIpRequest& request) {
  if (request.mac) return std::equal(request.mac->begin(), request.mac->end(), camera.macAddress);
  return camera.ipAddress == *request.from;
}

std::string Target(const ChangeIpRequest& request) {
  if (request.mac) {
    std::uint8_t mac[6];
    std::copy(request.mac->begin(), request.mac->end(), mac);
    return "MAC " + FormatMac(mac);
  }
  return "address " + FormatIPv4(*request.from);
}

}  // namespace

int RunChangeIpCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
  static constexpr std::array<OptionDef, 7> kOptions{{{"mac", true},
                                                     {"from", true},
                                                     {"ip", true},
                                                     {"netmask", true},
                                                     {"gateway", true},
                                                     {"timeout", true},
                                                     {"search-timeout", true}}};
  const ParseResult parsed = ParseOptions(args, kOptions);
  if (!parsed.ok()) return CommandUsageError(err, kChangeIpUsage, parsed.error);
  if (parsed.options.help) {
    out << CommandHelp(kChangeIpUsage);
    return kExitOk;
  }
  ChangeIpRequest request;
  if (std::string error = ReadRequest(parsed.options, request); !error.empty()) {
    return CommandUsageError(err, kChangeIpUsage, error);
  }

  LibrarySession library(err);
  if (!library.ok()) return kExitLibraryStart;

  const SearchOutcome found = SearchCameras(request.searchTimeoutMs);
  if (!found.ok) {
    err << "vktcli: search failed: " << vkttools::DescribeError(found.error) << "\n";
    return kExitCameraFailed;
  }
  std::vector<const DeviceRecord*> matches;
  for (const DeviceRecord& camera : found.cameras) {
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

}  // namespace vktcli
