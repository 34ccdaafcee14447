#include "picture/recv_pic_server_thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "api/library_thread.h"
#include "picture/picture_receiver.h"

namespace vkt {

CRecvPicServerThread::CRecvPicServerThread(PictureReceiver& owner)
    : owner_(owner), scratch_(new uint8_t[kScratchBytes]) {}

CRecvPicServerThread::~CRecvPicServerThread() = default;

int CRecvPicServerThread::svc() {
  EnterLibraryThread();
  // Pictures are received one step above normal priority. Best effort: an
  // unprivileged process may not raise it, which is harmless.
  (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), -1);
  while (!owner_.Stopping()) owner_.ServeOne(scratch_.get(), kScratchBytes);
  return 0;
}

}  // namespace vkt
