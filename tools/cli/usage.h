// Help texts.
#pragma once

#include <string>
#include <string_view>

namespace vktcli {

extern const std::string_view kSearchUsage;
extern const std::string_view kChangeIpUsage;
extern const std::string_view kAddUsage;
extern const std::string_view kGetUsage;
extern const std::string_view kGetDefaultUsage;
extern const std::string_view kSetUsage;
extern const std::string_view kSettingsUsage;
extern const std::string_view kSaveUsage;
extern const std::string_view kResetUsage;
extern const std::string_view kStateUsage;
extern const std::string_view kParamStateUsage;
extern const std::string_view kTimeUsage;
extern const std::string_view kConfigUsage;
extern const std::string_view kSnapUsage;
extern const std::string_view kListenUsage;
extern const std::string_view kStreamUsage;
extern const std::string_view kStatsUsage;
extern const std::string_view kSdUsage;

// A subcommand's usage followed by the exit codes, for --help.
std::string CommandHelp(std::string_view usage);

// The overview: every command with its summary, and the exit codes.
std::string OverviewUsage();

}  // namespace vktcli
