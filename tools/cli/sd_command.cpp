// vktcli sd state|format|ls|get|rm|pull: the camera's SD card and the
// pictures stored on it.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "VKTNetSDK11.h"
#include "camera_session.h"
#include "commands.h"
#include "error_names.h"
#include "exit_codes.h"
#include "format.h"
#include "json_text.h"
#include "option_values.h"
#include "picture_file.h"
#include "sd_paths.h"
#include "sd_text.h"
#include "status_line.h"

namespace vktcli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kDefaultFormatWaitSeconds = 120;
constexpr auto kPollInterval = std::chrono::milliseconds(200);
constexpr int kFormatDone = 100;

struct SdOptions : CameraOptions {
  std::optional<std::string> wait;
  std::optional<std::string> out;
  bool json = false;
  std::optional<std::string> path;  // of ls and pull; NAME of get and rm
  std::string directory;            // of pull
  std::vector<std::string> surplus;  // words past those an action takes
};

// The card path the action names (ls: "/" by default); throws UsageError.
std::string CardPath(const SdOptions& options) {
  std::string error;
  const std::string path = NormalCameraPath(options.path.value_or("/"), error);
  if (path.empty()) throw UsageError(error);
  return path;
}

// The picture's path for get and rm; throws UsageError.
std::string PicturePath(const SdOptions& options) {
  const std::string path = CardPath(options);
  if (path == "/") throw UsageError("NAME is a picture's full path, e.g. /20261209/103015_001.jpg");
  return path;
}

int RunCardState(const SdOptions& options, std::ostream& out, std::ostream& err) {
  CameraSession camera(ReadCameraTarget(options), err);
  if (!camera.ok()) return camera.failureExitCode();
  SDCardState state{};
  if (VKT_GetSDCardState(camera.handle(), &state, camera.timeoutMs()) != 0) {
    return ReportCallFailure(err, "VKT_GetSDCardState");
  }
  out << (options.json ? FormatCardStateJson(state) : FormatCardStateText(state));
  return kExitOk;
}

// Polls the format's progress until it reaches kFormatDone or `deadline`
// passes. Returns the exit code; `progress` is the last value read.
int FollowProgress(const CameraSession& camera, Clock::time_point deadline, std::chrono::seconds wait,
                   int& progress, std::ostream& err) {
  StatusLine status(err, IsTerminalStream(err));
  std::optional<int> shown;
  for (;;) {
    if (VKT_GetFormatSDCardProgress(camera.handle(), &progress, camera.timeoutMs()) != 0) {
      status.Finish();
      return ReportCallFailure(err, "VKT_GetFormatSDCardProgress");
    }
    // Off a terminal a line per change keeps logs short.
    if (shown != progress) {
      status.Show(FormatFormatProgressLine(progress));
      shown = progress;
    }
    if (progress >= kFormatDone) {
      status.Finish();
      return kExitOk;
    }
    const Clock::time_point now = Clock::now();
    if (now >= deadline) {
      status.Finish();
      err << "vktcli: the format did not finish within " << wait.count() << " s (progress " << progress
          << "); the camera may still be formatting\n";
      return kExitCameraFailed;
    }
    std::this_thread::sleep_until(std::min(now + kPollInterval, deadline));
  }
}

// Starts the format, shows its progress until it reaches 100 or the wait is
// over, then prints the card's state.
int RunCardFormat(const SdOptions& options, std::ostream& out, std::ostream& err) {
  const CameraTarget target = ReadCameraTarget(options);
  const std::chrono::seconds wait(options.wait ? PositiveOption(*options.wait, "wait", "seconds")
                                               : kDefaultFormatWaitSeconds);
  CameraSession camera(target, err);
  if (!camera.ok()) return camera.failureExitCode();
  const Clock::time_point deadline = Clock::now() + wait;
  if (VKT_FormatSDCard(camera.handle(), camera.timeoutMs()) != 0) return ReportCallFailure(err, "VKT_FormatSDCard");
  int progress = 0;
  if (const int code = FollowProgress(camera, deadline, wait, progress, err); code != kExitOk) return code;
  SDCardState state{};
  if (VKT_GetSDCardState(camera.handle(), &state, camera.timeoutMs()) != 0) {
    return ReportCallFailure(err, "VKT_GetSDCardState");
  }
  out << (options.json ? FormatCardStateJson(state, progress)
                       : "progress: " + std::to_string(progress) + "\n" + FormatCardStateText(state));
  return kExitOk;
}

int RunCardList(const SdOptions& options, std::ostream& out, std::ostream& err) {
  const CameraTarget target = ReadCameraTarget(options);
  const std::string path = CardPath(options);
  CameraSession camera(target, err);
  if (!camera.ok()) return camera.failureExitCode();
  std::vector<CardEntry> entries;
  if (!ListCardDirectory(camera.handle(), path, camera.timeoutMs(), entries)) {
    return ReportCallFailure(err, "VKT_GetDirectoryTree");
  }
  out << (options.json ? FormatListingJson(path, entries) : FormatListingText(path, entries));
  return kExitOk;
}

int RunCardGet(const SdOptions& options, std::ostream& out, std::ostream& err) {
  const CameraTarget target = ReadCameraTarget(options);
  const std::string path = PicturePath(options);
  const std::string file = options.out.value_or(std::string(BareName(path)));
  if (options.out && file.empty()) throw UsageError("--out needs a file name");
  if (!options.out && !IsSafeFileName(file)) {
    throw UsageError(Quoted(file) + " cannot be a file name here; give -o FILE");
  }
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
  if (options.json) {
    out << JsonLine({{"file", file}, {"size", picture.size()}}) << "\n";
  } else {
    out << "file: " << Printable(file) << "\nsize: " << picture.size() << " bytes\n";
  }
  return kExitOk;
}

int RunCardDelete(const SdOptions& options, std::ostream&, std::ostream& err) {
  const CameraTarget target = ReadCameraTarget(options);
  const std::string path = PicturePath(options);
  CameraSession camera(target, err);
  if (!camera.ok()) return camera.failureExitCode();
  if (!DeleteCardPicture(camera.handle(), path, camera.timeoutMs())) return ReportCallFailure(err, "VKT_DeleteJPGPic");
  return kExitOk;
}

// Fetches and writes one picture. Returns "" or why it failed.
std::string PullPicture(const CameraSession& camera, const std::string& path, const std::string& directory,
                        const CardEntry& entry, std::vector<char>& picture) {
  if (!IsSafeFileName(entry.name)) return "not a name a file can have here";
  const std::string picturePath = JoinCameraPath(path, entry.name);
  if (picturePath.size() > kMaxCameraPath) {
    return "its path is longer than " + std::to_string(kMaxCameraPath) + " bytes";
  }
  if (!FetchCardPicture(camera.handle(), picturePath, camera.timeoutMs(), picture)) {
    return "VKT_GetJPGPic failed: " + vkttools::DescribeError(VKT_GetLastError());
  }
  const std::string file = (std::filesystem::path(directory) / entry.name).string();
  if (std::string error; !WritePictureFile(file, picture, error)) return "cannot write " + error;
  return {};
}

// Lists PATH and writes each picture in it to a file of the same name in
// DIR, with progress; a picture that fails is reported and the rest are
// still pulled.
int RunCardPull(const SdOptions& options, std::ostream& out, std::ostream& err) {
  const CameraTarget target = ReadCameraTarget(options);
  const std::string path = CardPath(options);
  const std::string& directory = options.directory;
  if (directory.empty()) throw UsageError("DIR must not be empty");
  if (!PrepareDirectory(directory, err)) return kExitCameraFailed;
  CameraSession camera(target, err);
  if (!camera.ok()) return camera.failureExitCode();
  std::vector<CardEntry> entries;
  if (!ListCardDirectory(camera.handle(), path, camera.timeoutMs(), entries)) {
    return ReportCallFailure(err, "VKT_GetDirectoryTree");
  }
  PullCounts counts;
  for (const CardEntry& entry : entries) {
    if (!entry.IsPicture()) {
      ++counts.skipped;
      continue;
    }
    ++counts.totalFiles;
    counts.totalBytes += static_cast<std::uint64_t>(entry.value);
  }

  StatusLine status(err, IsTerminalStream(err));
  status.Show(FormatPullProgressLine(counts));
  std::vector<char> picture;
  for (const CardEntry& entry : entries) {
    if (!entry.IsPicture()) continue;
    if (std::string failure = PullPicture(camera, path, directory, entry, picture); failure.empty()) {
      ++counts.files;
      counts.bytes += picture.size();
    } else {
      ++counts.failed;
      status.Finish();
      err << "vktcli: " << Printable(JoinCameraPath(path, entry.name)) << ": " << Printable(failure) << "\n";
    }
    counts.doneListedBytes += static_cast<std::uint64_t>(entry.value);
    status.Show(FormatPullProgressLine(counts));
  }
  status.Finish();
  out << (options.json ? FormatPullSummaryJson(path, directory, counts)
                       : FormatPullSummaryText(path, directory, counts));
  return counts.failed > 0 ? kExitCameraFailed : kExitOk;
}

constexpr CommandHelp kSdHelp{
    "sd", "a camera's SD card: state, format, and the pictures stored on it",
    "Usage: vktcli sd state --ip ADDRESS [--timeout MS] [--json]\n"
    "       vktcli sd format --ip ADDRESS [--wait SECONDS] [--timeout MS] [--json]\n"
    "       vktcli sd ls [PATH] --ip ADDRESS [--timeout MS] [--json]\n"
    "       vktcli sd get NAME [-o FILE] --ip ADDRESS [--timeout MS] [--json]\n"
    "       vktcli sd rm NAME --ip ADDRESS [--timeout MS]\n"
    "       vktcli sd pull PATH DIR --ip ADDRESS [--timeout MS] [--json]\n",
    "The SD card of the camera at ADDRESS and the pictures stored on it. Paths\n"
    "on the card start with '/' and have at most 255 bytes; the root \"/\" holds\n"
    "directories, a directory such as /20261209 holds pictures, and NAME is a\n"
    "picture's full path, e.g. /20261209/103015_001.jpg.\n"
    "\n"
    "  state   prints the three words the camera reports for its card, \"word0: 1\",\n"
    "          \"word1: ...\", \"word2: ...\". Their meaning is the camera's; the\n"
    "          emulator, for one, reports whether a card is there (0 none, 1\n"
    "          ready, 2 formatting), its capacity and its free space in MiB.\n"
    "  format  ERASES THE CARD: starts formatting it, then asks for the\n"
    "          progress every 200 ms and shows it (a bar rewritten in place on\n"
    "          a terminal, a line per change elsewhere, on standard error) until\n"
    "          it reaches 100 or --wait is over; then prints \"progress: 100\" and\n"
    "          the card's state as \"sd state\" does.\n"
    "  ls      lists the directory PATH (default \"/\"), one line per entry: its\n"
    "          name and \"directory\" or the picture's size (\"123456 bytes\"); a\n"
    "          value the camera gives that is neither shows as \"value N\".\n"
    "  get     fetches the picture NAME and writes it to FILE (default: the\n"
    "          picture's own name in the current directory). An existing FILE is\n"
    "          replaced. Prints \"file: FILE\" and \"size: N bytes\".\n"
    "  rm      deletes the picture NAME. Prints nothing on success.\n"
    "  pull    lists PATH and writes every picture in it to a file of the same\n"
    "          name in DIR (made if missing; existing files of those names are\n"
    "          replaced), with progress on standard error, then prints how many\n"
    "          files and bytes came. Entries that are not pictures are skipped;\n"
    "          a picture that cannot be fetched or written, or whose name could\n"
    "          not stay inside DIR, is reported, the rest are still pulled, and\n"
    "          the exit code is 1.\n",
    "Examples:\n"
    "  vktcli sd ls /20261209 --ip 192.168.1.10\n"
    "  vktcli sd get /20261209/103015_001.jpg -o gate.jpg --ip 192.168.1.10\n"
    "  vktcli sd pull /20261209 pictures-20261209 --ip 192.168.1.10\n"};

constexpr OptionRow<SdOptions> kSdOptions[] = {
    kIpOption<SdOptions>,
    TimeoutOption<SdOptions>(),
    {"--wait", &SdOptions::wait, "SECONDS",
     "format: how long the format may take in all (default 120);\n"
     "when it is over the command fails, though the camera may\n"
     "still be formatting"},
    {"-o,--out", &SdOptions::out, "FILE", "get: where to write the picture"},
    {"--json", &SdOptions::json, "",
     "state: {\"word0\", \"word1\", \"word2\"}; format: the same\n"
     "with \"progress\" first; ls: {\"path\", \"entries\": [{\"name\",\n"
     "\"value\"}, ...]} with value -1 for a directory, else the\n"
     "size; get: {\"file\", \"size\"}; pull: {\"path\", \"dir\",\n"
     "\"files\", \"bytes\", \"failed\", \"skipped\"}"},
};

}  // namespace

void AddSdCommand(CommandLine& cli) {
  auto options = std::make_shared<SdOptions>();
  CLI::App& sd = cli.AddCommand(kSdHelp, options, kSdOptions);
  const auto add = [&](const std::string& name, std::initializer_list<std::string> takes,
                       OptionsRun<SdOptions> run) -> CLI::App& {
    return cli.AddAction(sd, name, takes, [options, name, run](std::ostream& out, std::ostream& err) {
      if (!options->surplus.empty()) throw UsageError("too many arguments for \"sd " + name + "\"");
      return run(*options, out, err);
    });
  };
  add("state", {"json"}, RunCardState);
  add("format", {"json", "wait"}, RunCardFormat);
  add("ls", {"json"}, RunCardList).add_option("PATH", options->path);
  add("get", {"json", "out"}, RunCardGet).add_option("NAME", options->path)->required();
  add("rm", {}, RunCardDelete).add_option("NAME", options->path)->required();
  CLI::App& pull = add("pull", {"json"}, RunCardPull);
  pull.add_option("PATH", options->path)->required();
  pull.add_option("DIR", options->directory)->required();
  for (CLI::App* action : sd.get_subcommands([](CLI::App*) { return true; })) {
    action->add_option("surplus", options->surplus);
  }
}

}  // namespace vktcli
