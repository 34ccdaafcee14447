// vktcli add: add a camera by its address (which searches first) and show
// the device record the search returned for it.
#include <memory>
#include <optional>
#include <string>

#include "camera_search.h"
#include "commands.h"
#include "error_names.h"
#include "exit_codes.h"
#include "format.h"
#include "library_session.h"
#include "option_values.h"

namespace vktcli {

namespace {

struct AddOptions {
  std::optional<std::string> ip;
  std::optional<std::string> timeout;
  bool json = false;
};

int RunAdd(const AddOptions& options, std::ostream& out, std::ostream& err) {
  if (!options.ip) throw UsageError("--ip is required");
  const std::uint32_t ip = IPv4Option(*options.ip, "ip");
  const unsigned timeout = MillisecondsOption(options.timeout, "timeout", 1000, 1);
  LibrarySession library(err);
  if (!library.ok()) return kExitLibraryStart;

  const std::string address = FormatIPv4(ip);
  const int handle = VKT_AddCamera_IP(address.c_str(), nullptr, timeout);
  if (handle == -1) {
    err << "vktcli: adding " << address << " failed: " << vkttools::DescribeError(VKT_GetLastError()) << "\n";
    return kExitCameraFailed;
  }
  // The record the camera was added from is the search's; fetch it again
  // without a new search.
  const SearchOutcome stored = FetchStoredCameras();
  const DeviceRecord* record = nullptr;
  for (const DeviceRecord& camera : stored.cameras) {
    if (camera.ipAddress == ip) record = &camera;
  }
  if (record == nullptr) {
    err << "vktcli: added " << address << " but its record is gone from the search result\n";
    VKT_DelCamera(handle);
    return kExitCameraFailed;
  }
  if (options.json) {
    out << FormatCameraJson(std::span(record, 1));
  } else {
    out << "added camera " << address << " as handle " << handle << "\n" << FormatCameraDetails(*record);
  }
  VKT_DelCamera(handle);
  return kExitOk;
}

}  // namespace

void AddAddCommand(CommandLine& cli) {
  auto options = std::make_shared<AddOptions>();
  CLI::App& add = cli.AddCommand(
      {.name = "add",
       .summary = "add a camera by its address and show its device record",
       .usage = "Usage: vktcli add --ip ADDRESS [--timeout MS] [--json]\n",
       .intro =
           "Adds the camera at ADDRESS (found by a search first) and shows the device\n"
       "record the search returned for it, then deletes it again.\n"},
      [options](std::ostream& out, std::ostream& err) { return RunAdd(*options, out, err); });
  add.add_option("--ip", options->ip, "the camera's current IPv4 address")->type_name("ADDRESS");
  add.add_option("--timeout", options->timeout,
                 "how long the search lasts, and again how long adding\n"
                 "the camera may take (default 1000)")
      ->type_name("MS");
  add.add_flag("--json", options->json, "print the record as JSON");
}

}  // namespace vktcli
