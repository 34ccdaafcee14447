// What an idle camera costs: the resident memory and the time of adding
// cameras that are never used, for the library and for a minimal hand-written
// client, measured in one run so their ratio means something.
#pragma once

namespace vktbench {

struct CostPerCamera {
  double residentKiB = 0;  // VmRSS growth per camera
  double addMicros = 0;    // wall time per camera added
};

struct IdleCameraCost {
  int cameras = 0;
  CostPerCamera library;  // VKT_AddCamera with a null callback
  CostPerCamera raw;      // the plain context a minimal client keeps
  // 0 on success; otherwise nothing above is meaningful and `error` says why.
  int failed = 0;
  const char* error = "";
};

// Adds `cameras` cameras to the library (which must be started) at
// 127.0.0.0/8 addresses where nothing listens, then deletes them again; and
// does the same with plain contexts. Run it in a private network namespace
// (tools/netns-run), where nothing listens on the port it uses.
IdleCameraCost MeasureIdleCameraCost(int cameras = 1000);

// This process's resident memory (VmRSS) in KiB; -1 when it cannot be read.
long ResidentKiB();

}  // namespace vktbench
