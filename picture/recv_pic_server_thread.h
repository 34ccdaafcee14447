// One picture receiver: takes turns with the others accepting on the shared
// listening socket, then reads the picture of the connection it accepted
// (within one second) and hands it to the sending camera's callback.
#pragma once

#include <ace/INET_Addr.h>
#include <ace/SOCK_Stream.h>
#include <ace/Task.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "api/statistics.h"
#include "picture/picture_framing.h"

namespace vkt {

class PictureReceiver;

class CRecvPicServerThread : public ACE_Task_Base {
 public:
  static constexpr int kWindowMs = 1000;

  explicit CRecvPicServerThread(PictureReceiver& owner);
  ~CRecvPicServerThread() override;

  int svc() override;
  // Cuts short the connection being read, if any (at stop).
  void Interrupt();

 private:
  void Serve(ACE_SOCK_Stream& connection, const ACE_INET_Addr& peer);
  // Reads until the picture is complete (nothing returned) or the window,
  // the framing or the connection ends it (why, returned).
  std::optional<PictureDrop> ReceivePicture(ACE_SOCK_Stream& connection, picture::PictureFraming& framing,
                                            size_t& received);

  PictureReceiver& owner_;
  std::unique_ptr<uint8_t[]> buffer_;  // one picture, kMaxPicture bytes
  std::mutex activeLock_;
  ACE_HANDLE active_ = ACE_INVALID_HANDLE;  // the connection being read
};

}  // namespace vkt
