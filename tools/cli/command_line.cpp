#include "command_line.h"

#include <algorithm>
#include <memory>

#include "exit_codes.h"
#include "format.h"
#include "option_values.h"

namespace vktcli {

namespace {

// "-o, --out FILE": the names and the value's placeholder.
std::string OptionTitle(const CLI::Option& option) {
  std::string title;
  for (const std::string& name : option.get_snames()) title += (title.empty() ? "-" : ", -") + name;
  for (const std::string& name : option.get_lnames()) title += (title.empty() ? "--" : ", --") + name;
  if (!option.get_type_name().empty()) title += " " + option.get_type_name();
  return title;
}

// The name an option goes by in messages: "--out" for "-o" too.
std::string OptionName(const CLI::Option& option) {
  return option.get_lnames().empty() ? "-" + option.get_snames().front() : "--" + option.get_lnames().front();
}

// A command's help: the usage and intro, its options with their help
// aligned in two columns, then the footer.
class HelpFormatter : public CLI::Formatter {
 public:
  HelpFormatter(std::string_view usage, std::string_view intro) : usage_(usage), intro_(intro) {}

  std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
    const std::vector<const CLI::Option*> options =
        app->get_options([](const CLI::Option* option) { return option->nonpositional(); });
    std::size_t width = 0;
    for (const CLI::Option* option : options) width = std::max(width, OptionTitle(*option).size());
    std::string text = usage_ + "\n" + intro_ + "\nOptions:\n";
    for (const CLI::Option* option : options) {
      const std::string title = OptionTitle(*option);
      text += "  " + title + std::string(width - title.size() + 2, ' ');
      // Further lines of a description start under its first.
      for (char c : option->get_description()) {
        text += c == '\n' ? "\n" + std::string(width + 4, ' ') : std::string(1, c);
      }
      text += "\n";
    }
    if (!app->get_footer().empty()) text += "\n" + app->get_footer();
    return text;
  }

 private:
  std::string usage_;
  std::string intro_;
};

std::string HelpText(const CLI::App& command) {
  return command.get_formatter()->make_help(&command, command.get_name(), CLI::AppFormatMode::Normal);
}

std::vector<const CLI::App*> Subcommands(const CLI::App& app) {
  return app.get_subcommands([](const CLI::App*) { return true; });
}

// The apps the command line went through: vktcli, the command, its action.
std::vector<const CLI::App*> ParsedChain(const CLI::App& root) {
  std::vector<const CLI::App*> chain{&root};
  while (!chain.back()->get_subcommands().empty()) chain.push_back(chain.back()->get_subcommands().front());
  return chain;
}

// "get, set or sync"
std::string ActionNames(const CLI::App& command) {
  const std::vector<const CLI::App*> actions = Subcommands(command);
  std::string names;
  for (std::size_t i = 0; i < actions.size(); ++i) {
    names += (i == 0 ? "" : i + 1 == actions.size() ? " or " : ", ") + actions[i]->get_name();
  }
  return names;
}

// The words for CLI11, last first. Where CLI11 reads a word otherwise than
// vktcli always has, it is told apart here: "--json=true" would set a flag,
// and "--dir=" would lack its value (vktcli takes it as "").
std::vector<std::string> ParserWords(const CLI::App& command, std::span<const std::string_view> args) {
  std::vector<std::string> words;
  for (std::string_view arg : args) {
    const std::size_t equals = arg.find('=');
    const CLI::Option* option = arg.starts_with("--") && equals != std::string_view::npos
                                    ? command.get_option_no_throw(std::string(arg.substr(0, equals)))
                                    : nullptr;
    if (option != nullptr && option->get_expected_max() == 0) {
      throw UsageError("option '" + OptionName(*option) + "' takes no value");
    }
    if (option != nullptr && equals + 1 == arg.size()) {
      words.push_back(OptionName(*option));
      words.emplace_back();
    } else {
      words.emplace_back(arg);
    }
  }
  std::ranges::reverse(words);
  return words;
}

// The words CLI11 could not place, and options given twice; "" if none.
std::string WordProblem(const CLI::App& root, std::span<const std::string_view> args) {
  // CLI11 takes "--" as the end of the options and may drop it; vktcli
  // takes it only as an option's value.
  std::size_t dashValues = 0;
  for (const CLI::App* app : ParsedChain(root)) {
    for (const CLI::Option* option : app->get_options()) dashValues += std::ranges::count(option->results(), "--");
  }
  if (static_cast<std::size_t>(std::ranges::count(args, "--")) > dashValues) return "unexpected argument '--'";
  for (const CLI::App* app : ParsedChain(root)) {
    for (const std::string& word : app->remaining()) {
      if (word.starts_with("--") && word != "--") return "unknown option '" + word.substr(0, word.find('=')) + "'";
      if (!Subcommands(*app).empty() && app->get_subcommands().empty() && !word.starts_with('-')) {
        return "unknown action " + Quoted(word) + " (" + ActionNames(*app) + ")";
      }
      return "unexpected argument '" + word + "'";
    }
  }
  for (const CLI::App* app : ParsedChain(root)) {
    for (const CLI::Option* option : app->get_options()) {
      if (option->nonpositional() && option->count() > 1 &&
          option->get_multi_option_policy() != CLI::MultiOptionPolicy::TakeAll) {
        return "option '" + OptionName(*option) + "' given more than once";
      }
    }
  }
  return {};
}

// A CLI11 error in vktcli's words.
std::string ParseErrorText(const CLI::App& root, std::span<const std::string_view> args,
                           const CLI::ParseError& error) {
  if (std::string problem = WordProblem(root, args); !problem.empty()) return problem;
  const std::vector<const CLI::App*> chain = ParsedChain(root);
  const CLI::App& last = *chain.back();
  if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) {
    if (!Subcommands(last).empty()) return "missing " + ActionNames(last);
    // An action's words: "sd pull needs PATH and DIR".
    std::string words;
    bool missing = false;
    for (const CLI::Option* option : last.get_options()) {
      if (!option->get_positional() || !option->get_required()) continue;
      words += (words.empty() ? "" : " and ") + option->get_name();
      missing = missing || option->count() == 0;
    }
    if (missing) return last.get_parent()->get_name() + " " + last.get_name() + " needs " + words;
  }
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
    // CLI11 names the option first: "--out: 1 required TEXT missing".
    const std::string what = error.what();
    for (const CLI::App* app : chain) {
      if (const CLI::Option* option = app->get_option_no_throw(what.substr(0, what.find(':')))) {
        return "option '" + OptionName(*option) + "' needs a value";
      }
    }
  }
  return error.what();
}

bool IsHelpWord(std::string_view word) { return word == "--help" || word == "-h"; }

}  // namespace

CommandLine::CommandLine() : root_("", "vktcli") {
  // Help is looked for before parsing: it wins over every mistake.
  root_.set_help_flag();
  // A command's words never select a second command.
  root_.require_subcommand(1);
  // Left-over words and repeated options are reported by WordProblem, in
  // vktcli's words rather than CLI11's.
  root_.allow_extras();
  root_.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

CLI::App& CommandLine::AddCommand(const CommandHelp& help, CommandRun run) {
  CLI::App* command = root_.add_subcommand(std::string(help.name), std::string(help.summary));
  command->formatter(std::make_shared<HelpFormatter>(help.usage, help.intro));
  command->footer(std::string(help.outro));
  if (run) runs_[command] = std::move(run);
  return *command;
}

CLI::App& CommandLine::AddAction(CLI::App& command, const std::string& name,
                                 std::initializer_list<std::string> options, CommandRun run) {
  command.require_subcommand(1);
  CLI::App* action = command.add_subcommand(name);
  action->fallthrough();
  actionOptions_[action] = options;
  runs_[action] = std::move(run);
  return *action;
}

std::string CommandLine::OptionFitProblem(const CLI::App& action) const {
  const auto own = actionOptions_.find(&action);
  if (own == actionOptions_.end()) return {};
  const CLI::App& command = *action.get_parent();
  for (const CLI::Option* option : command.get_options()) {
    if (option->count() == 0 || option->get_lnames().empty()) continue;
    const std::string& name = option->get_lnames().front();
    const auto takes = [&name](const std::vector<std::string>& names) {
      return std::ranges::find(names, name) != names.end();
    };
    // An option no action names is one they all take.
    const bool someTake = std::ranges::any_of(actionOptions_, [&](const auto& entry) {
      return entry.first->get_parent() == &command && takes(entry.second);
    });
    if (someTake && !takes(own->second)) {
      return "--" + name + " does not go with \"" + command.get_name() + " " + action.get_name() + "\"";
    }
  }
  return {};
}

std::string CommandLine::Overview() const {
  std::string text =
      "Usage: vktcli COMMAND [OPTIONS]\n"
      "       vktcli help [COMMAND]\n"
      "       vktcli COMMAND --help\n"
      "\n"
      "Commands:\n";
  for (const CLI::App* command : Subcommands(root_)) {
    std::string line = "  " + command->get_name();
    line.resize(16, ' ');
    text += line + command->get_description() + "\n";
  }
  return text + "\n" + std::string(kExitCodeHelp);
}

int CommandLine::UsageFailure(std::ostream& err, const CLI::App* command, const std::string& message) const {
  err << "vktcli: " << message << "\n\n" << (command != nullptr ? HelpText(*command) : Overview());
  return kExitUsage;
}

int CommandLine::Run(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return UsageFailure(err, nullptr, "missing command");
  if (IsHelpWord(args[0]) || (args[0] == "help" && args.size() == 1)) {
    out << Overview();
    return kExitOk;
  }
  const bool helpCommand = args[0] == "help";
  if (helpCommand && args.size() > 2) return UsageFailure(err, nullptr, "help takes at most one command");
  const std::string_view name = helpCommand ? args[1] : args[0];
  CLI::App* command = nullptr;
  for (CLI::App* candidate : root_.get_subcommands([](CLI::App*) { return true; })) {
    if (candidate->get_name() == name) command = candidate;
  }
  if (command == nullptr) return UsageFailure(err, nullptr, "unknown command '" + std::string(name) + "'");
  if (helpCommand || std::ranges::any_of(args.subspan(1), IsHelpWord)) {
    out << HelpText(*command) << "\n" << kExitCodeHelp;
    return kExitOk;
  }

  try {
    std::vector<std::string> words = ParserWords(*command, args);
    root_.parse(words);
    if (std::string problem = WordProblem(root_, args); !problem.empty()) throw UsageError(problem);
    const CLI::App& last = *ParsedChain(root_).back();
    if (std::string problem = OptionFitProblem(last); !problem.empty()) throw UsageError(problem);
    return runs_.at(&last)(out, err);
  } catch (const CLI::ParseError& error) {
    return UsageFailure(err, command, ParseErrorText(root_, args, error));
  } catch (const UsageError& error) {
    return UsageFailure(err, command, error.what());
  }
}

}  // namespace vktcli
