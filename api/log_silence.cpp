#include "api/log_silence.h"

#include <ace/Log_Msg.h>

namespace vkt {

void SilenceAceLogging() { ACE_Log_Msg::instance()->priority_mask(0, ACE_Log_Msg::THREAD); }

void SilenceAceLoggingOnce() {
  thread_local bool silenced = false;
  if (!silenced) {
    silenced = true;
    SilenceAceLogging();
  }
}

}  // namespace vkt
