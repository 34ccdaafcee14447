// One picture receiver: takes turns with the others accepting on the shared
// listening socket and serves the connection it accepted.
#pragma once

#include <ace/Task.h>

namespace vkt {

class PictureReceiver;

class CRecvPicServerThread : public ACE_Task_Base {
 public:
  explicit CRecvPicServerThread(PictureReceiver& owner);
  ~CRecvPicServerThread() override;

  int svc() override;

 private:
  PictureReceiver& owner_;
};

}  // namespace vkt
