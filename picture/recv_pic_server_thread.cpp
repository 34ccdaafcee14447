#include "picture/recv_pic_server_thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <ace/INET_Addr.h>
#include <ace/SOCK_Stream.h>

#include "api/library_thread.h"
#include "picture/picture_receiver.h"

namespace vkt {

CRecvPicServerThread::CRecvPicServerThread(PictureReceiver& owner) : owner_(owner) {}

CRecvPicServerThread::~CRecvPicServerThread() = default;

int CRecvPicServerThread::svc() {
  EnterLibraryThread();
  // Pictures are received one step above normal priority. Best effort: an
  // unprivileged process may not raise it, which is harmless.
  (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), -1);

  while (!owner_.Stopping()) {
    ACE_SOCK_Stream connection;
    ACE_INET_Addr peer;
    if (!owner_.Accept(connection, peer)) continue;  // Accept paces failures itself
    // No camera is registered to send pictures yet, so every sender is
    // unknown: close the connection unread.
    connection.close_writer();
    connection.close();
  }
  return 0;
}

}  // namespace vkt
