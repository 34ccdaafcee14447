// Process exit codes of vktcli; scripts rely on them, so they never change.
#pragma once

#include <string_view>

namespace vktcli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitCameraFailed = 1;   // a camera call failed, or no such camera
inline constexpr int kExitUsage = 2;          // bad command line
inline constexpr int kExitLibraryStart = 3;   // VKT_Init did not start the library

// The end of every help text.
inline constexpr std::string_view kExitCodeHelp =
    "Exit codes:\n"
    "  0  success\n"
    "  1  the camera call failed (or no such camera was found)\n"
    "  2  usage error\n"
    "  3  the library could not start\n";

}  // namespace vktcli
