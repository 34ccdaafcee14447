// vktcli search: list the cameras that answer a discovery broadcast.
#include <optional>
#include <string>
#include <vector>

#include "camera_search.h"
#include "camera_session.h"
#include "commands.h"
#include "exit_codes.h"
#include "format.h"
#include "option_values.h"

namespace vktcli {

namespace {

struct SearchOptions {
  std::optional<std::string> timeout;
  bool json = false;
};

int RunSearch(const SearchOptions& options, std::ostream& out, std::ostream& err) {
  // A time-out of 0 would only copy an earlier search of this process: none.
  const unsigned timeout = MillisecondsOption(options.timeout, "timeout", 1000, 1);
  LibrarySession library(err);
  if (!library.ok()) return kExitLibraryStart;

  const std::optional<std::vector<DeviceRecord>> cameras = SearchReporting(timeout, "search", err);
  if (!cameras) return kExitCameraFailed;
  const std::vector<std::string> interfaces = SearchInterfaces(*cameras);
  if (options.json) {
    out << FormatCameraJson(*cameras, interfaces);
  } else if (cameras->empty()) {
    out << "no camera found\n";
  } else {
    out << FormatCameraTable(*cameras, interfaces);
  }
  return kExitOk;
}

constexpr CommandHelp kSearchHelp{
    "search", "list the cameras on the local network",
    "Usage: vktcli search [--timeout MS] [--json]\n",
    "Finds the cameras on the local network by UDP broadcast and lists them.\n",
    "The NETMASK and GATEWAY columns show two address words whose meaning the\n"
    "camera defines; most cameras report their netmask and gateway there.\n"
    "In JSON they are addressWord1 and addressWord2.\n"
    "\n"
    "The INTERFACE column (\"interface\" in JSON) names the network interface\n"
    "the camera's answer came in on; \"-\" (null) when the system did not say.\n"
    "\n"
    "Prints \"no camera found\" (or [] with --json) when nothing answers.\n"};

constexpr OptionRow<SearchOptions> kSearchOptions[] = {
    TimeoutOption<SearchOptions>("how long to listen for answers, in milliseconds\n"
                                 "(default 1000; the search may take up to 1.5 times this)"),
    {"--json", &SearchOptions::json, "", "print a JSON array instead of the table"},
};

}  // namespace

void AddSearchCommand(CommandLine& cli) { cli.AddCommand(kSearchHelp, kSearchOptions, RunSearch); }

}  // namespace vktcli
