// Tells the library's own threads from the application's.
#pragma once

#include "api/log_silence.h"

namespace vkt {

inline thread_local bool t_onLibraryThread = false;

// Called first by every receiver thread.
inline void EnterLibraryThread() {
  t_onLibraryThread = true;
  SilenceAceLogging();
}

// True on a receiver thread (inside a callback, for the application).
inline bool OnLibraryThread() { return t_onLibraryThread; }

}  // namespace vkt
