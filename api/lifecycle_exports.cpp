// The lifecycle exports.
#include "VKTNetSDK11.h"
#include "api/library.h"
#include "api/log_silence.h"

extern "C" VKT_API int VKT_Init(int version, int* supportedVersion) {
  vkt::SilenceAceLoggingOnce();
  return vkt::Library::Instance().Init(version, supportedVersion);
}

extern "C" VKT_API int VKT_Close(void) {
  vkt::SilenceAceLoggingOnce();
  return vkt::Library::Instance().Close();
}

VKT_API int SetLogOutput() {
  vkt::SilenceAceLogging();
  return 0;
}
