// The commands of vktcli. A new command is one Add function, with its
// options and help, and one line in commands.cpp.
#pragma once

#include <ostream>
#include <span>
#include <string_view>

#include "command_line.h"

namespace vktcli {

void AddSearchCommand(CommandLine& cli);
void AddChangeIpCommand(CommandLine& cli);
void AddAddCommand(CommandLine& cli);
void AddSettingsCommands(CommandLine& cli);  // settings, get, get-default, set
void AddDeviceCommands(CommandLine& cli);    // save, reset, state, param-state
void AddTimeCommand(CommandLine& cli);
void AddConfigCommand(CommandLine& cli);
void AddSnapCommand(CommandLine& cli);
void AddListenCommand(CommandLine& cli);
void AddStreamCommand(CommandLine& cli);
void AddStatsCommand(CommandLine& cli);
void AddSdCommand(CommandLine& cli);

// The whole command line without the program name: dispatch, help, usage
// errors. main() is only this.
int RunCli(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);

}  // namespace vktcli
