#include "camera/camera_context.h"

#include <arpa/inet.h>

#include <cstring>

namespace vkt {
namespace {

ACE_INET_Addr CommandAddress(const DeviceRecord& record) {
  // The port is the low 16 bits of the record's word; both given in host order.
  return ACE_INET_Addr(static_cast<u_short>(record.commandPort & 0xFFFF),
                       static_cast<ACE_UINT32>(ntohl(record.ipAddress)));
}

}  // namespace

CameraContext::CameraContext(const DeviceRecord& record, int handle)
    : handle_(handle), record_(record), cameraAddress_(record.ipAddress), connection_(CommandAddress(record)) {
  // One very short connection attempt: when it succeeds, its local address
  // is the host address announced to the camera.
  if (connection_.command.Connect(connection_.camera, ACE_Time_Value(0, kCreationConnectMicros)) == IoResult::kOk) {
    hostAddress_ = htonl(connection_.command.LocalAddress().get_ip_address());
    commandConnectedBefore_ = true;
  }
}

CameraContext::~CameraContext() = default;  // the links shut down and close themselves

void CameraContext::Readdress(uint32_t ipAddress, uint32_t addressWord1) {
  std::lock_guard<std::recursive_mutex> lock(commandLock_);
  record_.ipAddress = ipAddress;
  record_.addressWord1 = addressWord1;
  Disconnect();
  cameraAddress_.store(ipAddress, std::memory_order_release);
  // A snapshot connects to this address under the snapshot lock.
  std::lock_guard<std::mutex> link(snapshotLock_);
  connection_.camera = CommandAddress(record_);
}

bool CameraContext::BeginDelivery() {
  std::lock_guard<std::mutex> lock(deliveryMutex_);
  if (retired_) return false;
  ++deliveriesInFlight_;
  return true;
}

void CameraContext::EndDelivery() {
  std::lock_guard<std::mutex> lock(deliveryMutex_);
  if (--deliveriesInFlight_ == 0) deliveriesDone_.notify_all();
}

void CameraContext::StopDeliveries() {
  std::lock_guard<std::mutex> lock(deliveryMutex_);
  retired_ = true;
}

void CameraContext::WaitForDeliveries() {
  std::unique_lock<std::mutex> lock(deliveryMutex_);
  // Callbacks return on their own; the library has no way to cut one short.
  deliveriesDone_.wait(lock, [this] { return deliveriesInFlight_ == 0; });
}

const ModelTraits& CameraContext::Model() const { return ModelOf(record_.modelName); }

}  // namespace vkt
