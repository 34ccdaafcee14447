// vktcli sd format: start formatting the card, follow its progress, show
// the card's state at the end.
#include <algorithm>
#include <chrono>
#include <thread>

#include "VKTNetSDK11.h"
#include "exit_codes.h"
#include "sd_actions.h"
#include "sd_text.h"
#include "status_line.h"

namespace vktcli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kPollInterval = std::chrono::milliseconds(200);
constexpr int kFormatDone = 100;

// Polls the progress until it reaches kFormatDone or `deadline` passes.
// Returns the exit code; `progress` is the last value read.
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

}  // namespace

int RunCardFormat(const FormatRequest& request, std::ostream& out, std::ostream& err) {
  CameraSession camera(request.target, err);
  if (!camera.ok()) return camera.failureExitCode();
  const Clock::time_point deadline = Clock::now() + request.wait;
  if (VKT_FormatSDCard(camera.handle(), camera.timeoutMs()) != 0) return ReportCallFailure(err, "VKT_FormatSDCard");
  int progress = 0;
  if (const int code = FollowProgress(camera, deadline, request.wait, progress, err); code != kExitOk) return code;
  SDCardState state{};
  if (VKT_GetSDCardState(camera.handle(), &state, camera.timeoutMs()) != 0) {
    return ReportCallFailure(err, "VKT_GetSDCardState");
  }
  out << (request.json ? FormatCardStateJson(state, progress)
                       : "progress: " + std::to_string(progress) + "\n" + FormatCardStateText(state));
  return kExitOk;
}

}  // namespace vktcli
