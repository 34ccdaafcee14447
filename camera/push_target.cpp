// Telling a camera where to push its pictures: the host address and the
// port the picture receivers listen on.
#include <arpa/inet.h>

#include <cstring>

#include "api/last_error.h"
#include "api/library.h"
#include "camera/camera_context.h"

namespace vkt {

int CameraContext::SetPictureCallback(PictureCallback callback, uint32_t ms) {
  std::lock_guard<std::recursive_mutex> lock(callbackLock_);
  // A null callback never removes the stored one.
  if (callback == nullptr || callback == GetPictureCallback()) return 0;
  pictureCallback_.store(callback, std::memory_order_release);
  return RegisterPushTarget(ms);
}

int CameraContext::RegisterPushTarget(uint32_t ms) {
  std::lock_guard<std::recursive_mutex> lock(commandLock_);
  const uint16_t port = htons(Library::Instance().PictureListenPort());
  if (pushRegistered_ != 0 && pushAddress_ == hostAddress_ && hostAddress_ != 0 && pushPort_ == port) return 0;
  if (CheckPendingSave(ms) != 0) return 1;
  if (hostAddress_ == 0) {
    // The attempt at creation lasts 20 microseconds, less than most network
    // round trips: learn the host address from the first real connection
    // rather than announce 0.0.0.0.
    Stopwatch start;
    if (!EnsureConnected(ms)) {
      Count(counters_->commandsSent);  // the registration that could not go out
      SetSocketError(lastConnectResult_);
      Disconnect();
      return 1;
    }
    hostAddress_ = htonl(connection_.command.LocalAddress().get_ip_address());
    uint64_t spent = start.ElapsedMs();
    ms = spent < ms ? static_cast<uint32_t>(ms - spent) : 0;
  }
  pushAddress_ = hostAddress_;
  pushPort_ = port;

  if (SendTarget(command::kPushTarget, pushAddress_, pushPort_, pushRegistered_, ms) != 0) return 1;
  pushRegistered_ = 1;
  return 0;
}

int CameraContext::SendTarget(int32_t command, uint32_t addressNetworkOrder, uint16_t portNetworkOrder, uint16_t flag,
                              uint32_t ms) {
  uint8_t payload[8];
  std::memcpy(payload, &addressNetworkOrder, 4);
  std::memcpy(payload + 4, &portNetworkOrder, 2);
  std::memcpy(payload + 6, &flag, 2);
  Request request{command};
  request.payload = payload;
  request.length = sizeof payload;
  return Exchange(request, ms);
}

}  // namespace vkt
