// vktcli snap: ask a camera for a picture, wait for it to be pushed, save it
// and show what came with it.
#include <array>
#include <chrono>
#include <optional>
#include <string>

#include "VKTNetSDK11.h"
#include "args.h"
#include "camera_session.h"
#include "commands.h"
#include "exit_codes.h"
#include "format.h"
#include "picture_file.h"
#include "picture_route.h"
#include "picture_text.h"
#include "snapshot_waiter.h"
#include "usage.h"

namespace vktcli {

namespace {

struct SnapRequest {
  CameraTarget target;
  std::int32_t value = 0;
  std::optional<std::string> out;
  bool json = false;
};

// Returns the usage error, or "" when `request` is filled.
std::string ReadSnapRequest(const ParsedOptions& options, SnapRequest& request) {
  if (std::string error = ReadCameraTarget(options, request.target); !error.empty()) return error;
  if (const std::optional<std::string_view> valueText = options.Get("value")) {
    const std::optional<std::int32_t> value = ParseInt32(*valueText);
    if (!value) return "--value needs a number, not '" + Printable(*valueText) + "'";
    request.value = *value;
  }
  if (const std::optional<std::string_view> out = options.Get("out")) {
    if (out->empty()) return "--out needs a file name";
    request.out = std::string(*out);
  }
  request.json = options.Has("json");
  return {};
}

// Adds the camera with the picture route, requests the picture and waits for
// it. The camera is deleted and the library closed on return, so nothing
// arrives any more while the picture is being saved.
int TakeSnapshot(const SnapRequest& request, std::optional<SnapshotWaiter::Result>& result, std::ostream& err) {
  SnapshotWaiter waiter;
  PictureRoute route(waiter);
  CameraSession camera(request.target, err, RoutePicture);
  if (!camera.ok()) return camera.failureExitCode();
  waiter.Arm(request.value);
  if (VKT_SnapPicture(camera.handle(), request.value, camera.timeoutMs()) != 0) {
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

}  // namespace

int RunSnapCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
  static constexpr std::array<OptionDef, 5> kOptions{
      {kCameraOptions[0], kCameraOptions[1], {"out", true}, {"value", true}, {"json", false}}};
  const ParseResult parsed = ParseOptions(args, kOptions);
  if (!parsed.ok()) return CommandUsageError(err, kSnapUsage, parsed.error);
  if (parsed.options.help) {
    out << CommandHelp(kSnapUsage);
    return kExitOk;
  }
  SnapRequest request;
  if (std::string error = ReadSnapRequest(parsed.options, request); !error.empty()) {
    return CommandUsageError(err, kSnapUsage, error);
  }

  std::optional<SnapshotWaiter::Result> result;
  if (const int code = TakeSnapshot(request, result, err); code != kExitOk) return code;

  const ReceivedPicture& picture = result->picture;
  if (!result->valueMatched) {
    err << "vktcli: no picture carried value " << request.value << "; took the first that arrived (value "
        << picture.value << ")\n";
  }
  const std::string path =
      request.out.value_or(SnapshotFileName(FormatIPv4(request.target.ip),
                                            PictureNameTime(picture.info.time, picture.arrival)));
  if (std::string error; !WritePictureFile(path, picture.jpeg, error)) {
    err << "vktcli: cannot write the picture: " << error << "\n";
    return kExitCameraFailed;
  }
  out << (request.json ? FormatSnapshotJson(path, picture.info, picture.value, picture.jpeg.size())
                       : FormatSnapshotText(path, picture.info, picture.value, picture.jpeg.size()));
  return kExitOk;
}

}  // namespace vktcli
