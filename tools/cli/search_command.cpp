// vktcli search: list the cameras that answer a discovery broadcast.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "camera_search.h"
#include "commands.h"
#include "error_names.h"
#include "exit_codes.h"
#include "format.h"
#include "library_session.h"
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

  const SearchOutcome found = SearchCameras(timeout);
  if (!found.ok) {
    err << "vktcli: search failed: " << vkttools::DescribeError(found.error) << "\n";
    return kExitCameraFailed;
  }
  const std::vector<std::string> interfaces = SearchInterfaces(found.cameras);
  if (options.json) {
    out << FormatCameraJson(found.cameras, interfaces);
  } else if (found.cameras.empty()) {
    out << "no camera found\n";
  } else {
    out << FormatCameraTable(found.cameras, interfaces);
  }
  return kExitOk;
}

}  // namespace

void AddSearchCommand(CommandLine& cli) {
  auto options = std::make_shared<SearchOptions>();
  CLI::App& search = cli.AddCommand(
      {.name = "search",
       .summary = "list the cameras on the local network",
       .usage = "Usage: vktcli search [--timeout MS] [--json]\n",
       .intro = "Finds the cameras on the local network by UDP broadcast and lists them.\n",
       .outro =
           "The NETMASK and GATEWAY columns show two address words whose meaning the\n"
           "camera defines; most cameras report their netmask and gateway there.\n"
           "In JSON they are addressWord1 and addressWord2.\n"
           "\n"
           "The INTERFACE column (\"interface\" in JSON) names the network interface\n"
           "the camera's answer came in on; \"-\" (null) when the system did not say.\n"
           "\n"
           "Prints \"no camera found\" (or [] with --json) when nothing answers.\n"},
      [options](std::ostream& out, std::ostream& err) { return RunSearch(*options, out, err); });
  search.add_option("--timeout", options->timeout,
                    "how long to listen for answers, in milliseconds\n"
                    "(default 1000; the search may take up to 1.5 times this)")
      ->type_name("MS");
  search.add_flag("--json", options->json, "print a JSON array instead of the table");
}

}  // namespace vktcli
