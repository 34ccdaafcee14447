// Resident memory and add time of idle cameras: the library against the
// plain context a minimal client keeps, side by side in one run.
//
// Run it in a private network namespace:
//   tools/netns-run build/bench/idle_camera_bench [CAMERAS]
#include <cstdio>
#include <cstdlib>

#include "VKTNetSDK11.h"
#include "idle_camera_cost.h"

int main(int argc, char** argv) {
  const int cameras = argc > 1 ? std::atoi(argv[1]) : 1000;
  if (VKT_Init(VKT_SDK_VERSION, nullptr) != 0) {
    std::fprintf(stderr, "VKT_Init failed\n");
    return 1;
  }
  const vktbench::IdleCameraCost cost = vktbench::MeasureIdleCameraCost(cameras);
  VKT_Close();
  if (cost.failed != 0) {
    std::fprintf(stderr, "%s: 0x%08x\n", cost.error, static_cast<unsigned>(VKT_GetLastError()));
    return 1;
  }
  std::printf("%d idle cameras\n", cost.cameras);
  std::printf("%-24s %12s %12s %8s\n", "per camera", "raw", "library", "ratio");
  std::printf("%-24s %12.2f %12.2f %8.2f\n", "resident (KiB)", cost.raw.residentKiB, cost.library.residentKiB,
              cost.raw.residentKiB > 0 ? cost.library.residentKiB / cost.raw.residentKiB : 0.0);
  std::printf("%-24s %12.2f %12.2f %8.2f\n", "add (microseconds)", cost.raw.addMicros, cost.library.addMicros,
              cost.raw.addMicros > 0 ? cost.library.addMicros / cost.raw.addMicros : 0.0);
  return 0;
}
