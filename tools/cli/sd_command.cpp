// vktcli sd state|format|ls|get|rm|pull: the camera's SD card and the
// pictures stored on it.
#include <array>
#include <string>
#include <vector>

#include "VKTNetSDK11.h"
#include "args.h"
#include "camera_session.h"
#include "commands.h"
#include "exit_codes.h"
#include "format.h"
#include "json_lite.h"
#include "picture_file.h"
#include "sd_actions.h"
#include "sd_card.h"
#include "sd_paths.h"
#include "sd_text.h"
#include "usage.h"

namespace vktcli {

namespace {

constexpr unsigned kDefaultFormatWaitSeconds = 120;

struct SdAction {
  std::string_view name;
  std::size_t minWords;  // after the action's name
  std::size_t maxWords;
  std::string_view words;  // what the required words are, for messages
  std::array<std::string_view, 2> options;  // besides --ip and --timeout; "" is unused
};

constexpr std::array<SdAction, 6> kSdActions{{
    {"state", 0, 0, "", {"json", ""}},
    {"format", 0, 0, "", {"json", "wait"}},
    {"ls", 0, 1, "", {"json", ""}},
    {"get", 1, 1, "NAME", {"json", "out"}},
    {"rm", 1, 1, "NAME", {"", ""}},
    {"pull", 2, 2, "PATH and DIR", {"json", ""}},
}};

const SdAction* FindSdAction(std::string_view name) {
  for (const SdAction& action : kSdActions) {
    if (action.name == name) return &action;
  }
  return nullptr;
}

// An option of another action is named as a mistake rather than ignored.
std::string CheckOptionsFit(const ParsedOptions& options, const SdAction& action) {
  for (const auto& [name, value] : options.values) {
    if (name == "ip" || name == "timeout") continue;
    bool allowed = false;
    for (std::string_view option : action.options) allowed = allowed || (!option.empty() && option == name);
    if (!allowed) return "--" + name + " does not go with \"sd " + std::string(action.name) + "\"";
  }
  return {};
}

std::string CheckWordCount(const SdAction& action, std::size_t words) {
  if (words < action.minWords) return "sd " + std::string(action.name) + " needs " + std::string(action.words);
  if (words > action.maxWords) return "too many arguments for \"sd " + std::string(action.name) + "\"";
  return {};
}

int RunCardState(const CameraTarget& target, bool json, std::ostream& out, std::ostream& err) {
  CameraSession camera(target, err);
  if (!camera.ok()) return camera.failureExitCode();
  SDCardState state{};
  if (VKT_GetSDCardState(camera.handle(), &state, camera.timeoutMs()) != 0) {
    return ReportCallFailure(err, "VKT_GetSDCardState");
  }
  out << (json ? FormatCardStateJson(state) : FormatCardStateText(state));
  return kExitOk;
}

int RunCardList(const CameraTarget& target, const std::string& path, bool json, std::ostream& out,
                std::ostream& err) {
  CameraSession camera(target, err);
  if (!camera.ok()) return camera.failureExitCode();
  std::vector<CardEntry> entries;
  if (!ListCardDirectory(camera.handle(), path, camera.timeoutMs(), entries)) {
    return ReportCallFailure(err, "VKT_GetDirectoryTree");
  }
  out << (json ? FormatListingJson(path, entries) : FormatListingText(path, entries));
  return kExitOk;
}

int RunCardGet(const CameraTarget& target, const std::string& path, const std::string& file, bool json,
               std::ostream& out, std::ostream& err) {
  std::vector<char> picture;
  {
    CameraSession camera(target, err);
    if (!camera.ok()) return camera.failureExitCode();
    if (!FetchCardPicture(camera.handle(), path, camera.timeoutMs(), picture)) {
      return ReportCallFailure(err, "VKT_GetJPGPic");
    }
  }
  if (std::string error; !WritePictureFile(file, picture, error)) {
    err << "vktcli: cannot write the picture: " << Printable(error) << "\n";
    return kExitCameraFailed;
  }
  if (json) {
    out << JsonObjectWriter().String("file", file).Number("size", static_cast<std::int64_t>(picture.size())).Finish()
        << "\n";
  } else {
    out << "file: " << Printable(file) << "\nsize: " << picture.size() << " bytes\n";
  }
  return kExitOk;
}

int RunCardDelete(const CameraTarget& target, const std::string& path, std::ostream& err) {
  CameraSession camera(target, err);
  if (!camera.ok()) return camera.failureExitCode();
  if (!DeleteCardPicture(camera.handle(), path, camera.timeoutMs())) return ReportCallFailure(err, "VKT_DeleteJPGPic");
  return kExitOk;
}

// The picture's path for get and rm into `path`; false with `error` set.
bool ReadPicturePath(std::string_view word, std::string& path, std::string& error) {
  path = NormalCameraPath(word, error);
  if (path.empty()) return false;
  if (path == "/") {
    error = "NAME is a picture's full path, e.g. /20261209/103015_001.jpg";
    return false;
  }
  return true;
}

int RunAction(const SdAction& action, const ParsedOptions& options, std::span<const std::string> words,
              const CameraTarget& target, std::ostream& out, std::ostream& err) {
  const bool json = options.Has("json");
  std::string error;
  if (action.name == "state") return RunCardState(target, json, out, err);
  if (action.name == "format") {
    FormatRequest request{target, std::chrono::seconds(kDefaultFormatWaitSeconds), json};
    if (const std::optional<std::string_view> text = options.Get("wait")) {
      const std::optional<unsigned> seconds = ParseMilliseconds(*text);
      if (!seconds || *seconds == 0) {
        return CommandUsageError(
            err, kSdUsage, "--wait needs a whole number of seconds of at least 1, not '" + Printable(*text) + "'");
      }
      request.wait = std::chrono::seconds(*seconds);
    }
    return RunCardFormat(request, out, err);
  }
  if (action.name == "ls") {
    const std::string path = NormalCameraPath(words.empty() ? std::string_view("/") : words[0], error);
    if (path.empty()) return CommandUsageError(err, kSdUsage, error);
    return RunCardList(target, path, json, out, err);
  }
  if (action.name == "pull") {
    PullRequest request{target, NormalCameraPath(words[0], error), words[1], json};
    if (request.path.empty()) return CommandUsageError(err, kSdUsage, error);
    if (request.directory.empty()) return CommandUsageError(err, kSdUsage, "DIR must not be empty");
    return RunCardPull(request, out, err);
  }
  std::string path;
  if (!ReadPicturePath(words[0], path, error)) return CommandUsageError(err, kSdUsage, error);
  if (action.name == "rm") return RunCardDelete(target, path, err);
  std::string file(options.Get("out").value_or(BareName(path)));
  if (options.Has("out") && file.empty()) return CommandUsageError(err, kSdUsage, "--out needs a file name");
  if (!options.Has("out") && !IsSafeFileName(file)) {
    return CommandUsageError(err, kSdUsage, "'" + Printable(file) + "' cannot be a file name here; give -o FILE");
  }
  return RunCardGet(target, path, file, json, out, err);
}

}  // namespace

int RunSdCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
  static constexpr std::array<OptionDef, 5> kOptions{
      {kCameraOptions[0], kCameraOptions[1], {"json", false}, {"wait", true}, {"out", true}}};
  // "-o FILE" is the short form of "--out FILE"; no card path starts with '-'.
  std::vector<std::string_view> words(args.begin(), args.end());
  for (std::string_view& word : words) {
    if (word == "-o") word = "--out";
  }
  const ParseResult parsed = ParseOptions(words, kOptions, true);
  if (!parsed.ok()) return CommandUsageError(err, kSdUsage, parsed.error);
  if (parsed.options.help) {
    out << CommandHelp(kSdUsage);
    return kExitOk;
  }
  const std::vector<std::string>& positionals = parsed.options.positionals;
  if (positionals.empty()) return CommandUsageError(err, kSdUsage, "missing state, format, ls, get, rm or pull");
  const SdAction* action = FindSdAction(positionals.front());
  if (action == nullptr) {
    return CommandUsageError(err, kSdUsage,
                             "unknown action '" + Printable(positionals.front()) +
                                 "' (state, format, ls, get, rm or pull)");
  }
  const std::span<const std::string> rest = std::span(positionals).subspan(1);
  if (std::string error = CheckWordCount(*action, rest.size()); !error.empty()) {
    return CommandUsageError(err, kSdUsage, error);
  }
  if (std::string error = CheckOptionsFit(parsed.options, *action); !error.empty()) {
    return CommandUsageError(err, kSdUsage, error);
  }
  CameraTarget target;
  if (std::string error = ReadCameraTarget(parsed.options, target); !error.empty()) {
    return CommandUsageError(err, kSdUsage, error);
  }
  return RunAction(*action, parsed.options, rest, target, out, err);
}

}  // namespace vktcli
