// vktcli snap: ask a camera for a picture, wait for it to be pushed, save it
// and show what came with it.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "VKTNetSDK11.h"
#include "callback_routes.h"
#include "camera_session.h"
#include "commands.h"
#include "exit_codes.h"
#include "format.h"
#include "option_values.h"
#include "picture_file.h"
#include "picture_text.h"

namespace vktcli {

namespace {

// Picks the answer to one snapshot request out of the pictures a camera
// pushes. Cameras put the request's value into the picture's record, but
// triggered pictures arrive on the same path, and not every camera echoes
// the value: so the picture with the requested value wins, and failing that
// the first picture that arrived after the request.
class SnapshotWaiter : public PictureSink {
 public:
  // Pictures before this are not answers; call it before sending the
  // request, since the picture may arrive before the request call returns.
  void Arm(int value) {
    std::lock_guard lock(mutex_);
    armed_ = true;
    value_ = value;
    match_.reset();
    first_.reset();
  }

  void OnPicture(std::span<const char> jpeg, const PictureInfo& info, int value) override {
    {
      std::lock_guard lock(mutex_);
      if (!armed_ || match_) return;
      // Copying under the lock is fine: at most two pictures are ever kept.
      if (value == value_) {
        match_ = CopyPicture(jpeg, info, value);
      } else if (!first_) {
        first_ = CopyPicture(jpeg, info, value);
      } else {
        return;
      }
    }
    arrived_.notify_all();
  }

  struct Result {
    ReceivedPicture picture;
    bool valueMatched = false;  // false: the first picture, with another value
  };

  // Waits until the picture with the requested value arrived or `deadline`
  // passed; then the first picture since Arm, or nullopt when none came.
  std::optional<Result> WaitUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    arrived_.wait_until(lock, deadline, [this] { return match_.has_value(); });
    if (match_) return Result{std::move(*match_), true};
    if (first_) return Result{std::move(*first_), false};
    return std::nullopt;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  bool armed_ = false;
  int value_ = 0;
  std::optional<ReceivedPicture> match_;
  std::optional<ReceivedPicture> first_;
};

struct SnapOptions : CameraOptions {
  std::optional<std::string> out;
  std::optional<std::string> value;
  bool json = false;
};

// Adds the camera with the picture route, requests the picture and waits for
// it. The camera is deleted and the library closed on return, so nothing
// arrives any more while the picture is being saved.
int TakeSnapshot(const CameraTarget& target, std::int32_t value, std::optional<SnapshotWaiter::Result>& result,
                 std::ostream& err) {
  SnapshotWaiter waiter;
  PictureRoute route(waiter);
  CameraSession camera(target, err, RoutePicture);
  if (!camera.ok()) return camera.failureExitCode();
  waiter.Arm(value);
  if (VKT_SnapPicture(camera.handle(), value, camera.timeoutMs()) != 0) {
    return ReportCallFailure(err, "VKT_SnapPicture");
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(camera.timeoutMs());
  result = waiter.WaitUntil(deadline);
  if (!result) {
    err << "vktcli: no picture arrived within " << camera.timeoutMs() << " ms\n";
    return kExitCameraFailed;
  }
  return kExitOk;
}

int RunSnap(const SnapOptions& options, std::ostream& out, std::ostream& err) {
  const CameraTarget target = ReadCameraTarget(options);
  const std::int32_t value = options.value ? Int32Option(*options.value, "value") : 0;
  if (options.out && options.out->empty()) throw UsageError("--out needs a file name");
  std::optional<SnapshotWaiter::Result> result;
  if (const int code = TakeSnapshot(target, value, result, err); code != kExitOk) return code;

  const ReceivedPicture& picture = result->picture;
  if (!result->valueMatched) {
    err << "vktcli: no picture carried value " << value << "; took the first that arrived (value "
        << picture.value << ")\n";
  }
  const std::string path =
      options.out.value_or(SnapshotFileName(FormatIPv4(target.ip),
                                            PictureNameTime(picture.info.time, picture.arrival)));
  if (std::string error; !WritePictureFile(path, picture.jpeg, error)) {
    err << "vktcli: cannot write the picture: " << error << "\n";
    return kExitCameraFailed;
  }
  out << (options.json ? FormatSnapshotJson(path, picture.info, picture.value, picture.jpeg.size())
                       : FormatSnapshotText(path, picture.info, picture.value, picture.jpeg.size()));
  return kExitOk;
}

constexpr CommandHelp kSnapHelp{
    "snap", "take a picture with a camera and save it",
    "Usage: vktcli snap --ip ADDRESS [--out FILE] [--value N] [--timeout MS] [--json]\n",
    "Asks the camera at ADDRESS for a picture, waits for the camera to push it,\n"
    "writes it to FILE and shows what came with it.\n"
    "\n"
    "The request carries the number N, and cameras put it into the record of the\n"
    "picture they push (its \"value\"). snap waits for the picture with value N;\n"
    "when none comes within the time-out it takes the first picture that arrived\n"
    "after the request (from a camera that does not echo the value, or a\n"
    "triggered one) and says so on standard error. A distinct N for each snap\n"
    "tells its picture apart from triggered ones.\n",
    "Output:\n"
    "  file          where the picture went\n"
    "  size          its length in bytes\n"
    "  camera        the handle the library gave the camera for this run\n"
    "  time          the camera's time stamp, YYYY-MM-DD HH:MM:SS.mmm\n"
    "  recordWord8, recordWord24, recordWord28, recordWord32, recordWord36,\n"
    "  recordWord40  words of the picture's record as the camera sent them;\n"
    "                36 and 40 read \"absent\" (null in JSON) when the record is\n"
    "                too short to hold them\n"
    "  value         the value the picture carried\n"
    "\n"
    "Fails when the camera refuses the request, or with \"no picture arrived\n"
    "within MS ms\" when none came.\n"
    "\n"
    "Example:\n"
    "  vktcli snap --ip 192.168.1.10 --out gate.jpg --value 17\n"};

constexpr OptionRow<SnapOptions> kSnapOptions[] = {
    kIpOption<SnapOptions>,
    TimeoutOption<SnapOptions>("how long the search lasts, the time-out of each camera call,\n"
                               "and how long to wait for the picture once the camera has\n"
                               "accepted the request (default 1000)"),
    {"--out", &SnapOptions::out, "FILE",
     "where to write the picture (default:\n"
     "snapshot-ADDRESS-YYYYMMDD-HHMMSS-mmm.jpg in the current\n"
     "directory, after the picture's time stamp)"},
    {"--value", &SnapOptions::value, "N", "the number the request carries (default 0)"},
    {"--json", &SnapOptions::json, "", "print one JSON object instead of the lines below"},
};

}  // namespace

void AddSnapCommand(CommandLine& cli) { cli.AddCommand(kSnapHelp, kSnapOptions, RunSnap); }

}  // namespace vktcli
