// Help texts.
#pragma once

#include <string>
#include <string_view>

namespace vktcli {

extern const std::string_view kSearchUsage;
extern const std::string_view kChangeIpUsage;
extern const std::string_view kAddUsage;

// A subcommand's usage followed by the exit codes, for --help.
std::string CommandHelp(std::string_view usage);

// The overview: every command with its summary, and the exit codes.
std::string OverviewUsage();

}  // namespace vktcli
