#include "commands.h"

#include <array>
#include <string>

#include "exit_codes.h"
#include "usage.h"

namespace vktcli {

namespace {

const std::array kCommands{
    Command{"search", "list the cameras on the local network", kSearchUsage, RunSearchCommand},
    Command{"change-ip", "give a camera a new IP address", kChangeIpUsage, RunChangeIpCommand},
    Command{"add", "add a camera by its address and show its device record", kAddUsage, RunAddCommand},
    Command{"settings", "list the settings get and set know", kSettingsUsage, RunSettingsCommand},
    Command{"get", "read a setting of a camera", kGetUsage, RunGetCommand},
    Command{"get-default", "read the factory value of a setting", kGetDefaultUsage, RunGetDefaultCommand},
    Command{"set", "write a setting of a camera", kSetUsage, RunSetCommand},
    Command{"save", "make a camera store its settings permanently", kSaveUsage, RunSaveCommand},
    Command{"reset", "reset (restart) a camera", kResetUsage, RunResetCommand},
    Command{"state", "show whether a camera answers, and its temperature and modes", kStateUsage, RunStateCommand},
    Command{"param-state", "show whether a camera is ready for commands", kParamStateUsage, RunParamStateCommand},
    Command{"time", "read or set a camera's clock, or make it synchronise", kTimeUsage, RunTimeCommand},
    Command{"config", "export a camera's settings to a file, or import them", kConfigUsage, RunConfigCommand},
    Command{"snap", "take a picture with a camera and save it", kSnapUsage, RunSnapCommand},
    Command{"listen", "save the pictures cameras push, with running counts", kListenUsage, RunListenCommand},
    Command{"stream", "receive a camera's video stream, with running counts", kStreamUsage, RunStreamCommand},
    Command{"stats", "show the library's diagnostic counters for a camera", kStatsUsage, RunStatsCommand},
    Command{"sd", "a camera's SD card: state, format, and the pictures stored on it", kSdUsage, RunSdCommand},
};

int UsageError(std::ostream& err, const std::string& message) {
  err << "vktcli: " << message << "\n\n" << OverviewUsage();
  return kExitUsage;
}

}  // namespace

int CommandUsageError(std::ostream& err, std::string_view usage, std::string_view message) {
  err << "vktcli: " << message << "\n\n" << usage;
  return kExitUsage;
}

std::span<const Command> AllCommands() { return kCommands; }

const Command* FindCommand(std::string_view name) {
  for (const Command& command : kCommands) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

int RunCli(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return UsageError(err, "missing command");

  const std::string_view first = args[0];
  if (first == "--help" || first == "-h") {
    out << OverviewUsage();
    return kExitOk;
  }
  if (first == "help") {
    if (args.size() == 1) {
      out << OverviewUsage();
      return kExitOk;
    }
    if (args.size() > 2) return UsageError(err, "help takes at most one command");
    const Command* command = FindCommand(args[1]);
    if (command == nullptr) return UsageError(err, "unknown command '" + std::string(args[1]) + "'");
    out << CommandHelp(command->usage);
    return kExitOk;
  }

  const Command* command = FindCommand(first);
  if (command == nullptr) return UsageError(err, "unknown command '" + std::string(first) + "'");
  return command->run(args.subspan(1), out, err);
}

}  // namespace vktcli
