// One picture receiver thread. The receivers share one readiness set over
// the listening socket and every open picture connection (see
// picture_receiver.h): each takes one event at a time, serves it and waits
// again, and the pictures it completes reach the cameras' callbacks on it.
#pragma once

#include <ace/Task.h>

#include <cstdint>
#include <memory>

namespace vkt {

class PictureReceiver;

class CRecvPicServerThread : public ACE_Task_Base {
 public:
  // Bytes of a read whose picture has no buffer of its own yet land here.
  // One byte over the block size: a picture of exactly 64 KiB then shows
  // its end, and that nothing follows it, in the same read.
  static constexpr size_t kScratchBytes = 64 * 1024 + 1;

  explicit CRecvPicServerThread(PictureReceiver& owner);
  ~CRecvPicServerThread() override;

  int svc() override;

 private:
  PictureReceiver& owner_;
  std::unique_ptr<uint8_t[]> scratch_;
};

}  // namespace vkt
