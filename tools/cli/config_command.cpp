// vktcli config export|import FILE: nine of a camera's settings saved to a
// file and applied from one, by the library's configuration file calls.
#include <array>
#include <filesystem>
#include <string>
#include <system_error>

#include "VKTNetSDK11.h"
#include "args.h"
#include "camera_session.h"
#include "commands.h"
#include "error_names.h"
#include "exit_codes.h"
#include "format.h"
#include "usage.h"

namespace vktcli {

namespace {

// The file holds its nine records back to back, nothing else.
constexpr std::size_t kConfigFileSize = sizeof(FTPParam) + sizeof(DeviceInfo) + sizeof(ITSParam) +
                                        sizeof(NightControlParam) + sizeof(SNTPParam) + sizeof(PicFileNameConfig) +
                                        sizeof(OSDInfo) + sizeof(int) + sizeof(AWBParam);
static_assert(kConfigFileSize == 652);

// Why the library could not read `path` as a configuration file, as far as
// the file system tells.
std::string UnreadableFileReason(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  const std::string quoted = "'" + Printable(path) + "'";
  if (status.type() == fs::file_type::not_found) return quoted + " does not exist";
  if (status.type() == fs::file_type::directory) return quoted + " is a directory";
  if (status.type() == fs::file_type::regular) {
    const std::uintmax_t size = fs::file_size(path, error);
    if (!error && size < kConfigFileSize) {
      return quoted + " is " + std::to_string(size) + " bytes, shorter than the " + std::to_string(kConfigFileSize) +
             " of a configuration file";
    }
  }
  return "cannot read " + quoted + " (or it is shorter than " + std::to_string(kConfigFileSize) + " bytes)";
}

int Export(int camera, unsigned timeoutMs, const std::string& path, std::ostream& err) {
  if (VKT_ExportConfigFile(camera, 0, path.c_str(), timeoutMs) == 0) return kExitOk;
  // The library leaves the last error alone when the file is at fault; adding
  // the camera just stored VKT_OK, so 0 means the file.
  const int error = VKT_GetLastError();
  if (error == VKT_OK) {
    err << "vktcli: cannot create or write '" << Printable(path) << "'\n";
  } else {
    err << "vktcli: VKT_ExportConfigFile failed: " << vkttools::DescribeError(error) << "\n"
        << "vktcli: '" << Printable(path) << "' holds only the settings read before the failure\n";
  }
  return kExitCameraFailed;
}

int Import(int camera, unsigned timeoutMs, const std::string& path, std::ostream& err) {
  if (VKT_ImportConfigFile(camera, path.c_str(), timeoutMs) == 0) return kExitOk;
  const int error = VKT_GetLastError();
  if (error == VKT_OK) {
    err << "vktcli: " << UnreadableFileReason(path) << "; nothing was sent to the camera\n";
  } else {
    err << "vktcli: VKT_ImportConfigFile failed: " << vkttools::DescribeError(error) << "\n"
        << "vktcli: the settings before the failing one were applied\n";
  }
  return kExitCameraFailed;
}

}  // namespace

int RunConfigCommand(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
  const ParseResult parsed = ParseOptions(args, kCameraOptions, true);
  if (!parsed.ok()) return CommandUsageError(err, kConfigUsage, parsed.error);
  if (parsed.options.help) {
    out << CommandHelp(kConfigUsage);
    return kExitOk;
  }
  const std::vector<std::string>& words = parsed.options.positionals;
  if (words.empty()) return CommandUsageError(err, kConfigUsage, "missing export or import");
  const std::string& action = words.front();
  if (action != "export" && action != "import") {
    return CommandUsageError(err, kConfigUsage, "unknown action '" + Printable(action) + "' (export or import)");
  }
  if (words.size() < 2 || words[1].empty()) return CommandUsageError(err, kConfigUsage, "missing FILE");
  if (words.size() > 2) {
    return CommandUsageError(err, kConfigUsage, "unexpected argument '" + Printable(words[2]) + "'");
  }
  CameraTarget target;
  if (std::string error = ReadCameraTarget(parsed.options, target); !error.empty()) {
    return CommandUsageError(err, kConfigUsage, error);
  }

  CameraSession camera(target, err);
  if (!camera.ok()) return camera.failureExitCode();
  return action == "export" ? Export(camera.handle(), camera.timeoutMs(), words[1], err)
                            : Import(camera.handle(), camera.timeoutMs(), words[1], err);
}

}  // namespace vktcli
