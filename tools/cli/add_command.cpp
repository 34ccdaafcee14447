// vktcli add: add a camera by its address (which searches first) and show
// the device record the search returned for it.
#include "camera_search.h"
#include "camera_session.h"
#include "commands.h"
#include "exit_codes.h"
#include "format.h"

namespace vktcli {

namespace {

struct AddOptions : CameraOptions {
  bool json = false;
};

int RunAdd(const AddOptions& options, std::ostream& out, std::ostream& err) {
  const CameraTarget target = ReadCameraTarget(options);
  CameraSession camera(target, err);
  if (!camera.ok()) return camera.failureExitCode();

  // The record the camera was added from is the search's; fetch it again
  // without a new search.
  const SearchOutcome stored = FetchStoredCameras();
  const DeviceRecord* record = nullptr;
  for (const DeviceRecord& found : stored.cameras) {
    if (found.ipAddress == target.ip) record = &found;
  }
  const std::string address = FormatIPv4(target.ip);
  if (record == nullptr) {
    err << "vktcli: added " << address << " but its record is gone from the search result\n";
    return kExitCameraFailed;
  }
  if (options.json) {
    out << FormatCameraJson(std::span(record, 1));
  } else {
    out << "added camera " << address << " as handle " << camera.handle() << "\n" << FormatCameraDetails(*record);
  }
  return kExitOk;
}

constexpr CommandHelp kAddHelp{
    "add", "add a camera by its address and show its device record",
    "Usage: vktcli add --ip ADDRESS [--timeout MS] [--json]\n",
    "Adds the camera at ADDRESS (found by a search first) and shows the device\n"
    "record the search returned for it, then deletes it again.\n"};

constexpr OptionRow<AddOptions> kAddOptions[] = {
    {"--ip", &AddOptions::ip, "ADDRESS", "the camera's current IPv4 address"},
    TimeoutOption<AddOptions>("how long the search lasts, and again how long adding\n"
                              "the camera may take (default 1000)"),
    {"--json", &AddOptions::json, "", "print the record as JSON"},
};

}  // namespace

void AddAddCommand(CommandLine& cli) { cli.AddCommand(kAddHelp, kAddOptions, RunAdd); }

}  // namespace vktcli
