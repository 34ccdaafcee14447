// vktcli sd pull PATH DIR: every picture of a card directory into a local
// directory, with progress; one picture failing does not stop the rest.
#include <filesystem>
#include <string>
#include <vector>

#include "VKTNetSDK11.h"
#include "error_names.h"
#include "exit_codes.h"
#include "format.h"
#include "picture_file.h"
#include "sd_actions.h"
#include "sd_card.h"
#include "sd_paths.h"
#include "sd_text.h"
#include "status_line.h"

namespace vktcli {

namespace {

// Fetches and writes one picture. Returns "" or why it failed.
std::string PullPicture(const CameraSession& camera, const PullRequest& request, const CardEntry& entry,
                        std::vector<char>& picture) {
  if (!IsSafeFileName(entry.name)) return "not a name a file can have here";
  const std::string path = JoinCameraPath(request.path, entry.name);
  if (path.size() > kMaxCameraPath) return "its path is longer than " + std::to_string(kMaxCameraPath) + " bytes";
  if (!FetchCardPicture(camera.handle(), path, camera.timeoutMs(), picture)) {
    return "VKT_GetJPGPic failed: " + vkttools::DescribeError(VKT_GetLastError());
  }
  const std::string file = (std::filesystem::path(request.directory) / entry.name).string();
  if (std::string error; !WritePictureFile(file, picture, error)) return "cannot write " + error;
  return {};
}

}  // namespace

int RunCardPull(const PullRequest& request, std::ostream& out, std::ostream& err) {
  if (!PrepareDirectory(request.directory, err)) return kExitCameraFailed;
  CameraSession camera(request.target, err);
  if (!camera.ok()) return camera.failureExitCode();
  std::vector<CardEntry> entries;
  if (!ListCardDirectory(camera.handle(), request.path, camera.timeoutMs(), entries)) {
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
    if (std::string failure = PullPicture(camera, request, entry, picture); failure.empty()) {
      ++counts.files;
      counts.bytes += picture.size();
    } else {
      ++counts.failed;
      status.Finish();
      err << "vktcli: " << Printable(JoinCameraPath(request.path, entry.name)) << ": " << Printable(failure) << "\n";
    }
    counts.doneListedBytes += static_cast<std::uint64_t>(entry.value);
    status.Show(FormatPullProgressLine(counts));
  }
  status.Finish();
  out << (request.json ? FormatPullSummaryJson(request.path, request.directory, counts)
                       : FormatPullSummaryText(request.path, request.directory, counts));
  return counts.failed > 0 ? kExitCameraFailed : kExitOk;
}

}  // namespace vktcli
