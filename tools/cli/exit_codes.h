// Process exit codes of vktcli; scripts rely on them, so they never change.
#pragma once

namespace vktcli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitCameraFailed = 1;   // a camera call failed, or no such camera
inline constexpr int kExitUsage = 2;          // bad command line
inline constexpr int kExitLibraryStart = 3;   // VKT_Init did not start the library

}  // namespace vktcli
