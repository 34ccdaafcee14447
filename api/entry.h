// The common entry of every export that needs a started library.
#pragma once

#include "api/last_error.h"
#include "api/library.h"
#include "api/log_silence.h"

namespace vkt {

// Silences ACE logging for the thread, then checks that the library is
// started: if not, stores VKT_ERR_NOT_STARTED and returns false; otherwise
// stores VKT_OK and returns true.
inline bool EnterCheckedCall() {
  SilenceAceLoggingOnce();
  if (!Library::Instance().Started()) {
    SetLastError(err::kNotStarted);
    return false;
  }
  SetLastError(err::kOk);
  return true;
}

}  // namespace vkt
