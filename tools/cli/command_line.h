// vktcli's command line on CLI11: the commands, their actions ("sd ls"),
// help laid out as vktcli shows it and usage errors in vktcli's words.
#pragma once

#include <functional>
#include <initializer_list>
#include <map>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

namespace vktcli {

// Runs a parsed command; writes to `out` and `err` and returns the exit
// code. A UsageError it throws is shown with the command's help.
using CommandRun = std::function<int(std::ostream& out, std::ostream& err)>;

// The help of a command, around the list of its options.
struct CommandHelp {
  std::string_view name;
  std::string_view summary;  // its line in the overview
  std::string_view usage;    // the "Usage:" lines
  std::string_view intro;    // before "Options:"
  std::string_view outro = {};  // after the options, or ""
};

class CommandLine {
 public:
  CommandLine();

  // A command; its options are added to the returned app. A command with
  // actions gets no `run`.
  CLI::App& AddCommand(const CommandHelp& help, CommandRun run = nullptr);

  // An action of `command` ("ls" of "sd"), with its own words. The options
  // stay the command's, so they may come before or after the action.
  // `options` (long names) are those of them this action takes; an option
  // no action names is one every action takes.
  CLI::App& AddAction(CLI::App& command, const std::string& name, std::initializer_list<std::string> options,
                      CommandRun run);

  // The words after the program's name. Returns the exit code.
  int Run(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);

 private:
  std::string Overview() const;
  int UsageFailure(std::ostream& err, const CLI::App* command, const std::string& message) const;
  std::string OptionFitProblem(const CLI::App& action) const;

  CLI::App root_;
  std::map<const CLI::App*, CommandRun> runs_;
  std::map<const CLI::App*, std::vector<std::string>> actionOptions_;
};

}  // namespace vktcli
