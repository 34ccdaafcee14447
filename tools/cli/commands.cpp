#include "commands.h"

namespace vktcli {

int RunCli(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
  CommandLine cli;
  // In the order of the overview.
  AddSearchCommand(cli);
  AddChangeIpCommand(cli);
  AddAddCommand(cli);
  AddSettingsCommands(cli);
  AddDeviceCommands(cli);
  AddTimeCommand(cli);
  AddConfigCommand(cli);
  AddSnapCommand(cli);
  AddListenCommand(cli);
  AddStreamCommand(cli);
  AddStatsCommand(cli);
  AddSdCommand(cli);
  return cli.Run(args, out, err);
}

}  // namespace vktcli
