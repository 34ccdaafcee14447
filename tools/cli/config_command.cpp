// vktcli config export|import FILE: nine of a camera's settings saved to a
// file and applied from one, by the library's configuration file calls.
#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "VKTNetSDK11.h"
#include "camera_session.h"
#include "commands.h"
#include "error_names.h"
#include "exit_codes.h"
#include "format.h"
#include "option_values.h"

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
  const std::string quoted = Quoted(path);
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

struct ConfigOptions : CameraOptions {
  std::string file;
};

// Export or Import, once the command line is read.
template <int (*transfer)(int, unsigned, const std::string&, std::ostream&)>
int RunConfig(const ConfigOptions& options, std::ostream&, std::ostream& err) {
  if (options.file.empty()) throw UsageError("missing FILE");
  CameraSession camera(ReadCameraTarget(options), err);
  if (!camera.ok()) return camera.failureExitCode();
  return transfer(camera.handle(), camera.timeoutMs(), options.file, err);
}

constexpr CommandHelp kConfigHelp{
    "config", "export a camera's settings to a file, or import them",
    "Usage: vktcli config export FILE --ip ADDRESS [--timeout MS]\n"
    "       vktcli config import FILE --ip ADDRESS [--timeout MS]\n",
    "export writes nine settings of the camera into FILE (652 bytes): ftp,\n"
    "device-info, its, night-control, sntp, pic-file-name, osd, awb and\n"
    "awb-param. import applies such a file, in the same order; awb-param only\n"
    "when the file's awb is 0. Both print nothing on success.\n"
    "\n"
    "A FILE that cannot be read, or is shorter than 652 bytes, is refused before\n"
    "anything is sent. When a camera call fails part way, an exported FILE holds\n"
    "only what was read before, and an import has applied the settings before.\n",
    "Example:\n"
    "  vktcli config export camera10.cfg --ip 192.168.1.10\n"
    "  vktcli config import camera10.cfg --ip 192.168.1.11\n"};

constexpr OptionRow<ConfigOptions> kConfigOptions[] = {
    kIpOption<ConfigOptions>,
    TimeoutOption<ConfigOptions>("how long the search lasts, and the time-out of each camera\n"
                                 "call (default 1000)\n"
                                 "(each of the nine calls has the whole time-out)"),
};

}  // namespace

void AddConfigCommand(CommandLine& cli) {
  auto options = std::make_shared<ConfigOptions>();
  CLI::App& config = cli.AddCommand(kConfigHelp, options, kConfigOptions);
  cli.AddAction(config, "export", {}, options, RunConfig<Export>).add_option("FILE", options->file);
  cli.AddAction(config, "import", {}, options, RunConfig<Import>).add_option("FILE", options->file);
}

}  // namespace vktcli
