// The subcommands of vktcli. A new subcommand is one Run function, one
// usage text in usage.cpp and one line in the table of commands.cpp.
#pragma once

#include <ostream>
#include <span>
#include <string_view>

namespace vktcli {

// `args` are the words after the subcommand's name. Returns the exit code.
using CommandFunction = int (*)(std::span<const std::string_view> args,
                                std::ostream& out, std::ostream& err);

struct Command {
  std::string_view name;
  std::string_view summary;  // one line for the overview
  std::string_view usage;    // the full help of the subcommand
  CommandFunction run;
};

std::span<const Command> AllCommands();
const Command* FindCommand(std::string_view name);

int RunSearchCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);
int RunAddCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);
int RunChangeIpCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);
int RunSettingsCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);
int RunGetCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);
int RunGetDefaultCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);
int RunSetCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);
int RunSaveCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);
int RunResetCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);
int RunStateCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);
int RunParamStateCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);
int RunTimeCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);
int RunConfigCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);
int RunSnapCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);
int RunListenCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);
int RunStreamCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);
int RunStatsCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);
int RunSdCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);

// Writes "vktcli: MESSAGE" and the subcommand's usage to `err`; returns the
// usage exit code.
int CommandUsageError(std::ostream& err, std::string_view usage, std::string_view message);

// The whole command line without the program name: dispatch, help, usage
// errors. main() is only this.
int RunCli(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);

}  // namespace vktcli
