#include "library_session.h"

#include "VKTNetSDK11.h"

namespace vktcli {

LibrarySession::LibrarySession(std::ostream& err) {
  int supported = 0;
  const int result = VKT_Init(VKT_SDK_VERSION, &supported);
  if (result == 0) {
    started_ = true;
    return;
  }
  if (result == -1) {
    // The library allows one user per host (network namespace); most often
    // a camera application is already running here.
    // The library is held from the start of a process to its end, so two
    // vktcli in one pipe collide as well.
    err << "vktcli: another process on this host already uses the library\n"
        << "vktcli: (two vktcli commands cannot run at once, not even in one pipe: pass\n"
        << "vktcli:  JSON on through a file or $(...) instead)\n";
    return;
  }
  err << "vktcli: the library could not start";
  if (supported != 0 && supported != VKT_SDK_VERSION) {
    err << " (it supports version " << supported << ", this tool was built for "
        << VKT_SDK_VERSION << ")";
  }
  err << "\n";
}

LibrarySession::~LibrarySession() {
  if (started_) VKT_Close();
}

}  // namespace vktcli
