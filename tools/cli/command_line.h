// vktcli's command line on CLI11: the commands, their actions ("sd ls"),
// help laid out as vktcli shows it and usage errors in vktcli's words.
#pragma once

#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include <CLI/CLI.hpp>

namespace vktcli {

// Runs a parsed command; writes to `out` and `err` and returns the exit
// code. A UsageError it throws is shown with the command's help.
using CommandRun = std::function<int(std::ostream& out, std::ostream& err)>;

// The help of a command, around the list of its options; each command
// gives these in this order.
struct CommandHelp {
  std::string_view name;
  std::string_view summary;  // its line in the overview
  std::string_view usage;    // the "Usage:" lines
  std::string_view intro;    // before "Options:"
  std::string_view outro = {};  // after the options, or ""
};

// Runs a command once its words have filled `options`.
template <class Options>
using OptionsRun = int (*)(const Options& options, std::ostream& out, std::ostream& err);

// One option or word of a command, and the member of the command's options
// it fills: a flag fills a bool, a repeatable option or the words left over
// a vector.
template <class Options>
struct OptionRow {
  std::string_view name;  // "--out", "-o,--out", or a word ("NAME")
  std::variant<bool Options::*, std::string Options::*, std::optional<std::string> Options::*,
               std::vector<std::string> Options::*>
      member;
  std::string_view typeName = {};  // the value's placeholder in the help: "MS"
  std::string_view help = {};
};

template <class Value>
void AddOption(CLI::App& command, const std::string& name, Value& value, std::string_view typeName,
               std::string_view help) {
  if constexpr (std::is_same_v<Value, bool>) {
    command.add_flag(name, value, std::string(help));
  } else {
    CLI::Option* option = command.add_option(name, value, std::string(help));
    if (!typeName.empty()) option->type_name(std::string(typeName));
    // "--ip A --ip B", never "--ip A B".
    if (std::is_same_v<Value, std::vector<std::string>> && option->nonpositional()) {
      option->expected(1)->allow_extra_args(false)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    }
  }
}

template <class Options>
void AddOptions(CLI::App& command, Options& options, std::span<const OptionRow<Options>> rows) {
  for (const OptionRow<Options>& row : rows) {
    std::visit([&](auto member) { AddOption(command, std::string(row.name), options.*member, row.typeName, row.help); },
               row.member);
  }
}

class CommandLine {
 public:
  CommandLine();

  // A command; its options are added to the returned app. A command with
  // actions gets no `run`.
  CLI::App& AddCommand(const CommandHelp& help, CommandRun run = nullptr);

  // A command whose `rows` fill `options`, which `run` (none: the actions')
  // reads.
  template <class Options>
  CLI::App& AddCommand(const CommandHelp& help, std::shared_ptr<Options> options,
                       std::span<const OptionRow<std::type_identity_t<Options>>> rows,
                       OptionsRun<std::type_identity_t<Options>> run = nullptr) {
    CLI::App& command = AddCommand(help, Bind(options, run));
    AddOptions(command, *options, rows);
    return command;
  }

  template <class Options>
  CLI::App& AddCommand(const CommandHelp& help, std::span<const OptionRow<std::type_identity_t<Options>>> rows,
                       OptionsRun<Options> run) {
    return AddCommand(help, std::make_shared<Options>(), rows, run);
  }

  // An action of `command` ("ls" of "sd"), with its own words. The options
  // stay the command's, so they may come before or after the action.
  // `options` (long names) are those of them this action takes; an option
  // no action names is one every action takes.
  CLI::App& AddAction(CLI::App& command, const std::string& name, std::initializer_list<std::string> options,
                      CommandRun run);

  template <class Options>
  CLI::App& AddAction(CLI::App& command, const std::string& name, std::initializer_list<std::string> takes,
                      std::shared_ptr<Options> options, OptionsRun<std::type_identity_t<Options>> run) {
    return AddAction(command, name, takes, Bind(options, run));
  }

  // The words after the program's name. Returns the exit code.
  int Run(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);

 private:
  template <class Options>
  static CommandRun Bind(std::shared_ptr<Options> options, OptionsRun<Options> run) {
    if (run == nullptr) return nullptr;
    return [options, run](std::ostream& out, std::ostream& err) { return run(*options, out, err); };
  }

  std::string Overview() const;
  int UsageFailure(std::ostream& err, const CLI::App* command, const std::string& message) const;
  std::string OptionFitProblem(const CLI::App& action) const;

  CLI::App root_;
  std::map<const CLI::App*, CommandRun> runs_;
  std::map<const CLI::App*, std::vector<std::string>> actionOptions_;
};

}  // namespace vktcli
