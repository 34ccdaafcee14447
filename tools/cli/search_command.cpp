// vktcli search: list the cameras that answer a discovery broadcast.
#include <array>
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

int RunSearchCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
  static constexpr std::array<OptionDef, 2> kOptions{{{"timeout", true}, {"json", false}}};
  const ParseResult parsed = ParseOptions(args, kOptions);
  if (!parsed.ok()) return CommandUsageError(err, kSearchUsage, parsed.error);
  if (parsed.options.help) {
    out << CommandHelp(kSearchUsage);
    return kExitOk;
  }
  std::string error;
  // A time-out of 0 would only copy an earlier search of this process: none.
  const std::optional<unsigned> timeout = MillisecondsOption(parsed.options, "timeout", 1000, 1, error);
  if (!timeout) return CommandUsageError(err, kSearchUsage, error);
  const bool json = parsed.options.Has("json");

  LibrarySession library(err);
  if (!library.ok()) return kExitLibraryStart;

  const SearchOutcome found = SearchCameras(*timeout);
  if (!found.ok) {
    err << "vktcli: search failed: " << vkttools::DescribeError(found.error) << "\n";
    return kExitCameraFailed;
  }
  const std::vector<std::string> interfaces = SearchInterfaces(found.cameras);
  if (json) {
    out << FormatCameraJson(found.cameras, interfaces);
  } else if (found.cameras.empty()) {
    out << "no camera found\n";
  } else {
    out << FormatCameraTable(found.cameras, interfaces);
  }
  return kExitOk;
}

}  // namespace vktcli
